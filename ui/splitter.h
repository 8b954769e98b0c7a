#pragma once
// A split bar. Dragging it reports where its leading edge should go, in its parent's client
// coordinates; the owner decides the sizes and moves it. From the keyboard, once it has the
// focus (MoveByKeyboard), the arrow keys move it a step at a time, and Enter or Esc give the
// focus back; it is highlighted meanwhile.
#include <functional>

#include "ui/basewindow.h"

class Splitter : public BaseWindow {
public:
    enum class Axis { Vertical, Horizontal };  // a vertical bar moves along x
    void create(HWND parent, int id, HINSTANCE instance, Axis axis, std::function<void(int edge)> onDrag);
    // Takes the focus for the arrow keys, which move it by `step` pixels.
    void MoveByKeyboard(int step);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    int along(LPARAM lParam) const;
    Axis axis_ = Axis::Vertical;
    std::function<void(int)> onDrag_;
    int grabOffset_ = 0;
    int step_ = 8;
    HWND focusBefore_ = nullptr;
};
