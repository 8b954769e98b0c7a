#pragma once
// The applications frame: the stored list of applications of "DisallowRun" or "RestrictRun".
#include <optional>
#include <string>
#include <vector>

#include "ui/frames/optionframe.h"

class TframeApplications : public TOptionFrame {
public:
    TframeApplications(HWND parent, OptionFrameHost& host);

    void SetValue(int ObjectIndex) override;
    void SetEnabled(bool aEnabled) override;

    HWND btnBrowseApp() const { return btnBrowseApp_; }
    HWND btnDeleteFile() const { return btnDeleteFile_; }
    HWND lstFiles() const { return lstFiles_; }
    HWND edtName() const { return edtName_; }
    HWND btnAddName() const { return btnAddName_; }
    enum ControlId { IdBrowseApp = 100, IdDeleteFile, IdFiles, IdName, IdAddName };

protected:
    void Layout(int width, int height) override;
    void OnCommand(int id, int code) override;

private:
    void btnBrowseAppClick();
    void btnDeleteFileClick();
    void btnAddNameClick();
    void LoadFiles();
    std::wstring Block();

    HWND btnBrowseApp_ = nullptr, btnDeleteFile_ = nullptr, lstFiles_ = nullptr;
    HWND edtName_ = nullptr, btnAddName_ = nullptr;  // a program typed by name
};

enum class FileDialogStyle { Classic, NewStyle };
// The new-style dialog on Windows Vista (6.0, workstation) only; the classic one elsewhere.
FileDialogStyle ApplicationsDialogStyle();
// Tests may force a style; nullopt restores the system's choice.
void ForceApplicationsDialogStyle(std::optional<FileDialogStyle> style);
// "Specify file(s)": the chosen paths in the dialog's order; empty when cancelled.
std::vector<std::wstring> AskForApplications(HWND owner, FileDialogStyle style);
