// Resource ids of the wizard RVLCustomizer.exe, shared by its .rc and its C++ code.
//
// Prefixes say the kind: IDD_ dialog template, IDS_ string, IDB_ bitmap, IDI_ icon, IDR_ raw resource,
// IDT_ static text, IDE_ edit, IDL_ list view, IDX_ check box, IDC_ any other control (buttons, combo box,
// progress bar, pictures). Templates, strings, pictures and most control numbers are fixed by the product
// (the help topics, the tests and the embedded stub refer to them); keep them as they are.
//
// Several templates reuse the numbers 1000-1007: the welcome and finish pages use 1000-1002 for their
// texts, the OPML import dialog uses 1004-1006 for its list and its selection buttons. Each number has
// one name per kind of control; a second name exists only where the same number is a different kind of
// control on another template.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// The Help command of every page (57670) is the framework's: fw::kHelpCommand in framework/propsheet.h.

// Wizard pages, in the order the user sees them.
#define IDD_WELCOME 129
#define IDD_FEEDS 133
#define IDD_WEBPAGES 156
#define IDD_DOWNLOAD 141
#define IDD_README 213
#define IDD_DESTINATION 143
#define IDD_FINISH 142

// Modal dialogs.
#define IDD_ADD_WEBPAGE 102
#define IDD_FEED_PROPERTIES 155
#define IDD_ADD_FEED 157
#define IDD_WEBPAGE_PROPERTIES 158
#define IDD_IMPORT_FEEDS 214
#define IDD_RENAME_FOLDER 242

// Header title and subtitle of each interior page.
#define IDS_FEEDS_TITLE 102
#define IDS_FEEDS_SUBTITLE 103
#define IDS_DOWNLOAD_TITLE 106
#define IDS_DOWNLOAD_SUBTITLE 107
#define IDS_DESTINATION_TITLE 108
#define IDS_DESTINATION_SUBTITLE 109
#define IDS_WEBPAGES_TITLE 110
#define IDS_WEBPAGES_SUBTITLE 111
#define IDS_README_TITLE 112
#define IDS_README_SUBTITLE 113
// The read-me page's note, the welcome page's article link text, the name of the first feed folder.
#define IDS_README_NOTE 114
#define IDS_ARTICLE_LINK 119
#define IDS_DEFAULT_FOLDER 124

// Bitmaps.
#define IDB_LIST_BACKGROUND 132 // tiled behind the rows of the feeds and web pages lists
#define IDB_FEED 151            // picture of the feeds page and of the feed dialogs
#define IDB_DRAG_MANY 180       // drag image, 88 x 16, several rows
#define IDB_DRAG_ONE 181        // drag image, 88 x 16, one row
#define IDB_WATERMARK 200       // Wizard97 watermark of the exterior pages
#define IDB_HEADER 201          // Wizard97 header picture of the interior pages
#define IDB_SETUP_NAME 207      // destination page, beside the setup name
#define IDB_FOLDER 208          // destination page, beside the folder
#define IDB_OPML 218            // OPML import dialog

// Icons.
#define IDI_APP 206
#define IDI_WEBPAGE_ROW 209 // 16 x 16, every row of the web pages list
#define IDI_FEED_ROW 211    // 16 x 16, every row of the feeds list
#define IDI_WEBPAGE 234     // 32 x 32, web pages page and web page properties

// The extractor stub, written unchanged at the front of every customized setup (resource type "SFX_EXE").
#define IDR_SFX_EXE 240

// Controls.
#define IDT_TITLE 1000         // welcome and finish pages: title in the large font
#define IDE_WEBPAGE_TITLE 1000 // add-web-page dialog: title edit
#define IDT_INTRO 1001
#define IDT_HINT 1002
#define IDL_FEEDS 1004 // feeds page, OPML import dialog
#define IDC_ADD 1005
#define IDC_SELECT_ALL 1005 // OPML import dialog
#define IDC_REMOVE 1006
#define IDC_DESELECT_ALL 1006 // OPML import dialog
#define IDC_PROPERTIES 1007
#define IDE_URL 1009
#define IDE_FOLDER 1012
#define IDC_BROWSE 1013
#define IDC_PROGRESS 1014
#define IDT_STATUS 1015
#define IDC_CANCEL_DOWNLOAD 1016
#define IDX_OPEN_FOLDER 1018
#define IDE_SETUP_PATH 1021
#define IDX_RUN_SETUP 1024
#define IDE_PROPERTY_URL 1026
#define IDE_DESCRIPTION 1027
#define IDE_PROPERTY_TITLE 1029
#define IDL_WEBPAGES 1031
#define IDT_VERSION 1032
#define IDT_COPYRIGHT 1033
#define IDT_SIZES 1034
#define IDT_RATE 1035
#define IDT_RATE_LABEL 1036
#define IDT_PERCENT 1037
#define IDC_NOTE_ICON 1040
#define IDT_NOTE 1041
#define IDE_SETUP_NAME 1042
#define IDT_IMPORTED_FEEDS 1044
#define IDC_IMPORT_OPML 1047
#define IDE_OPML_FILE 1050
#define IDC_IMPORT 1052
#define IDC_OPML_PICTURE 1053
#define IDC_IMPORT_LINE 1054
#define IDC_RENAME 1059
#define IDT_IMPORTANT 1060
#define IDC_ARTICLE_LINK 1061
#define IDC_FOLDER_COMBO 1079
#define IDE_FOLDER_NAME 1080
#define IDT_OPEN_SETUP 1081 // welcome page: the line above Open Setup
#define IDC_OPEN_SETUP 1082 // welcome page: "&Open Setup..."
