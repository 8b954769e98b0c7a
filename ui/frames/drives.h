#pragma once
// The drives frame: 26 letters with check boxes, edited into the entry's nValue as a mask.
#include <vector>

#include "app/drivemask.h"
#include "ui/frames/optionframe.h"

class TframeDrives : public TOptionFrame {
public:
    TframeDrives(HWND parent, OptionFrameHost& host);
    ~TframeDrives() override;

    void SetValue(int ObjectIndex) override;
    void SetEnabled(bool aEnabled) override;

    HWND lstDrives() const { return lstDrives_; }
    enum ControlId { IdDrives = 100 };

protected:
    void Layout(int width, int height) override;
    LRESULT OnNotify(const NMHDR& header) override;

private:
    void FillDrives();
    void ShowMask(int Mask);
    int GetMask() const;
    void lstDrivesChange();
    static LRESULT CALLBACK ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data);

    HWND lstDrives_ = nullptr;
};

// The drive rows the system and the shell gave, asked for once per process (lstDrvCustomList).
const std::vector<DriveRow>& DriveRowCache();
// How often the rows were asked for in this process; the cache keeps it at one.
int DriveListBuildCount();
