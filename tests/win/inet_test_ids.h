#pragma once
#define IDD_INET_TEST    600
#define IDC_INET_CONTROL 1000
#define IDC_INET_FETCH   610
