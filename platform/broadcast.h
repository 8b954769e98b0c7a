#pragma once
// Tells running programs that policy values changed, so that Explorer and others reload
// the restrictions they cache instead of waiting for the next logon.

// WM_SETTINGCHANGE with "Policy" to every top-level window; a hung window is skipped and no
// window holds the caller longer than two seconds. False when the broadcast failed.
bool BroadcastPolicyChange();
