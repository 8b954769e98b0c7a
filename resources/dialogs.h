#pragma once
// Identifiers of the password and About dialogs and their controls.

#define IDD_CHECKPASS 400
#define IDD_PASS 401
#define IDD_ABOUT 402

// TfrmCheckPass
#define IDC_EDTPASSWORD 4001
#define IDC_LBLENTERPASSWORD 4002
// TPass
#define IDC_ENTERPASSWORD 4011
#define IDC_CONFIRMPASSWORD 4012
#define IDC_LBLDEFINE 4013
#define IDC_LBLCONFIRM 4014
// TfrmAbout (its OK button is IDOK)
#define IDC_ABOUTICON 4021
#define IDC_PRODUCTNAME 4022
#define IDC_VERSION 4023
#define IDC_WEBSITE 4024
