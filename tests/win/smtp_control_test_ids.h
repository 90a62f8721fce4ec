#pragma once
#define IDD_SMTPCTL_MAIL    620
#define IDD_SMTPCTL_SMALL   621
#define IDD_SMTPCTL_BIGFONT 622
#define IDC_SMTPCTL_SEND    630
// The id both of the program's dialogs give the mail control.
#define IDC_SMTPCTL_CONTROL 1004
