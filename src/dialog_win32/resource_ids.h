// Resource and control ids, shared by the dialog template and the code.
// Plain #defines: the resource compiler reads this file too.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDD_EEPROM_DIALOG 102
#define IDI_APP_ICON 128

#define IDC_PORT_FIELD 1000
#define IDC_PORT_SPIN 1001
#define IDC_AUTOMATIC 1002
#define IDC_REGION_LIST 1003
#define IDC_SAVE_TO_FILE 1004
#define IDC_RESTORE_FROM_FILE 1005
#define IDC_SET_MEDIUM_VALUES 1006
#define IDC_COMPARE_WITH_FILE 1007
#define IDC_PROGRESS 1008
