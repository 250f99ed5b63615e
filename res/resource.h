#pragma once
// Resource ids. Filled in completely by the resources work; the ids below are
// the ones every layer needs from the start.
#define IDOK 1
#define IDCANCEL 2
#define IDC_STATIC (-1)
