#pragma once
#define IDD_FW_TEST   500
#define IDD_FW_BROKEN 501
#define IDC_FW_EDIT   510
#define IDC_FW_THROW  511
