#pragma once
// A split bar. Dragging it reports where its leading edge should go, in its parent's client
// coordinates; the owner decides the sizes and moves it.
#include <functional>

#include "ui/basewindow.h"

class Splitter : public BaseWindow {
public:
    enum class Axis { Vertical, Horizontal };  // a vertical bar moves along x
    void create(HWND parent, int id, HINSTANCE instance, Axis axis, std::function<void(int edge)> onDrag);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    int along(LPARAM lParam) const;
    Axis axis_ = Axis::Vertical;
    std::function<void(int)> onDrag_;
    int grabOffset_ = 0;
};
