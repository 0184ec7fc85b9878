// Identifiers of the string catalogue, shared by the resource scripts (the built-in
// English table and every language library) and the program.
#pragma once

#define IDS_BUILD                   100
#define IDS_TO_LOCAL_ACCOUNT        101
#define IDS_ERROR_PREFIX            102
#define IDS_IN_FORM_LOAD            103
#define IDS_IN_EXPORT_TO_CSV        104
#define IDS_IN_REMOVE_MAPPING       105
#define IDS_NO_ACCESS_ANY_LONGER    106
#define IDS_ABOUT                   107
#define IDS_ADD_NEW_MAPPING         108
#define IDS_ARE_YOU_SURE            109
#define IDS_CHANGE_LANGUAGE         110
#define IDS_MAKER_NAME              111
#define IDS_APP_CAPTION             112
#define IDS_MAIN_CAPTION            113
#define IDS_CONFIRM_DELETE_TITLE    114
#define IDS_MAKER_COPYRIGHT         115
#define IDS_MAP_DELETED             116
#define IDS_EDIT                    117
#define IDS_FORMLOAD_ERROR          118
#define IDS_ERR_SUBSCRIBER_MANY     119
#define IDS_ERR_SUBSCRIBER_NONE     120
#define IDS_ERR_CREDENTIAL_NONE     121
#define IDS_ERR_CREDENTIAL_MANY     122
#define IDS_EXIT                    123
#define IDS_EXPORT_TO_CSV           124
#define IDS_EXPORT_DIALOG_TITLE     125
#define IDS_FILE                    126
#define IDS_GATHERING               127
#define IDS_HELP                    128
#define IDS_IMPORT_FROM_CSV         129
#define IDS_NO_MAPPINGS_TO_EXPORT   130
#define IDS_OK                      131
#define IDS_OUTPUT_COMPLETE         132
#define IDS_REMOVE_MAPPING          133
#define IDS_MAKER_ADDRESS1          134
#define IDS_SELECT_LANGUAGE         135
#define IDS_SHOW_ONLY_CUSTOM        136
#define IDS_SHOW_PRIMARY            137
#define IDS_REMOVE_WARNING          138
#define IDS_REFUSED_CONNECTOR       139
#define IDS_REFUSED_VERSION         140
#define IDS_MAKER_ADDRESS2          141
#define IDS_MAKER_TRADEMARK         142
#define IDS_VERSION_TITLE           143
#define IDS_VIEW                    144
#define IDS_SELECT_ROW_FIRST        145
#define IDS_NO_LANGUAGES            146
#define IDS_THE_ALIAS               147
#define IDS_COL_DOMAIN              148
#define IDS_COL_AD_ALIAS            149
#define IDS_COL_PRIMARY             150
#define IDS_COL_VELTO_ALIAS         151
#define IDS_SHOW_ACCOUNT_DETAILS    152
#define IDS_COL_SID                 153
#define IDS_COL_ACCOUNT             154
#define IDS_STATUS_RESOLVED         155
#define IDS_STATUS_DELETED          156
#define IDS_STATUS_UNVERIFIED       157

// Bulk removal, restore file and restore window.
#define IDS_RESTORE_MENU            158
#define IDS_RESTORE_TITLE           159
#define IDS_RESTORE_CHECKED         160
#define IDS_CANCEL                  161
#define IDS_COL_REMOVED_ON          162
#define IDS_COL_ACCOUNT_OR_SID      163
#define IDS_COL_REMOVED_BY          164
#define IDS_LINE_TRUNCATED          165
#define IDS_LINE_CHECKSUM           166
#define IDS_LINE_NEWER_FORMAT       167
#define IDS_LINE_MALFORMED          168
#define IDS_SKIP_KEY_NONE           169
#define IDS_SKIP_KEY_MANY           170
#define IDS_SKIP_CHANGED            171
#define IDS_SKIP_SUBSCRIBER_NONE    172
#define IDS_SKIP_SUBSCRIBER_MANY    173
#define IDS_SKIP_NOT_ONE_DELETED    174
#define IDS_RESTORE_KEY_EXISTS      175
#define IDS_RESTORE_OTHER_TABLE     176
#define IDS_RESTORE_OTHER_LAYOUT    177
#define IDS_RESTORE_NOT_ONE_INSERTED 178
#define IDS_RESTORE_DONE            179
#define IDS_RESTORE_SKIPPED         180
#define IDS_RESTORE_NONE_CHECKED    181
#define IDS_RESTORE_EMPTY           182
#define IDS_RESTORE_REFUSED_LINES   183
#define IDS_LINE                    184
#define IDS_RESTORE_FILE            185

// Removing the mappings of deleted accounts: the preview window, its question and summary,
// and the single removal's refusal of a row that changed since the load.
#define IDS_REMOVE_DELETED_MENU     186
#define IDS_REMOVE_DELETED_TITLE    187
#define IDS_REMOVE_CHECKED          188
#define IDS_DELETED_COUNT           189
#define IDS_NO_DELETED_ACCOUNTS     190
#define IDS_REMOVE_NONE_CHECKED     191
#define IDS_REMOVE_CHECKED_QUESTION 192
#define IDS_BULK_REMOVED            193
#define IDS_BULK_SKIPPED            194
#define IDS_BULK_NOT_PROCESSED      195
#define IDS_CHANGED_SINCE_LOAD      196

// Long work: the wait window's count and the progress window.
#define IDS_RESOLVING_ACCOUNTS      204
#define IDS_PROGRESS_CAPTION        205
#define IDS_PROGRESS_COUNT          206
#define IDS_STOP                    207

// The command-line report: usage and messages on standard error.
#define IDS_REPORT_USAGE            197
#define IDS_REPORT_UNKNOWN_SWITCH   198
#define IDS_REPORT_NO_FILE          199
#define IDS_REPORT_READ_FAILED      200
#define IDS_REPORT_WRITE_FAILED     201
#define IDS_REPORT_LOOKUP_FAILED    202
#define IDS_REPORT_WRITTEN          203
#define IDS_REPORT_FIRST            IDS_REPORT_USAGE
#define IDS_REPORT_LAST             IDS_REPORT_WRITTEN

#define IDS_FIRST                   IDS_BUILD
#define IDS_LAST                    IDS_STOP
