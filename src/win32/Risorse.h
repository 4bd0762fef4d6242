#pragma once

// The numbers of the program's resources and of its windows' controls.

// The program's star: the executable's icon and its windows'.
#define IDI_FENDRIX 1
// The pictures, PNG, drawn to size at run time.
#define IDR_CARTELLA 10
#define IDR_BANNER 11

// frmAmain's controls.
#define IDC_CMDDUPLICATE 101
#define IDC_IMAGE1 102
#define IDC_LABEL1 110  // Label1(0) to Label1(3): 110 to 113

// frmSelezione's controls; cmdOK is the dialog's IDOK, which Enter presses.
#define IDC_DIR1 201
#define IDC_FILE1 202
#define IDC_TXTNOME 203
