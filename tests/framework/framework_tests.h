// Resource ids of the framework tests' own templates.
#pragma once

#define IDD_TEST_DIALOG 100
#define IDD_TEST_PAGE_A 101
#define IDD_TEST_PAGE_B 102
#define IDD_TEST_PAGE_C 103
#define IDD_TEST_LIST 104
#define IDE_TEST_NAME 200
#define IDL_TEST_LIST 201
#define IDS_TEST_TITLE 300
#define IDS_TEST_SUBTITLE 301
