/* Ids of the setup's resources and of its dialog's controls, read alike by
   the resource compiler, the program and its tests. The control ids that
   show a text are also the string ids of that text in the interface tables,
   and the dialog's id is its caption's. Plain macros: the resource compiler
   reads this file too. */
#ifndef OV_RESOURCES_RESOURCE_IDS_H
#define OV_RESOURCES_RESOURCE_IDS_H

#define IDI_SETUP 1
#define IDD_SETUP 1000

#define IDC_CANCEL_BUTTON 2
#define IDC_OK_BUTTON 99
#define IDC_TITLE_LINE 1001
#define IDC_COMPONENT_LIST 1010
#define IDC_DESTINATION_LABEL 1031
#define IDC_DESTINATION_EDIT 1032
#define IDC_BROWSE_BUTTON 1033
#define IDC_PROGRAM_GROUP_BOX 1041
#define IDC_DESKTOP_BOX 1042
#define IDC_QUICK_LAUNCH_BOX 1043
#define IDC_STATUS_LINE 1047

#endif
