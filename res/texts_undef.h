/* Forgets the names a language's texts header defined, so that the next
   language's header can define them again (res/languages.cpp). */
#undef TEXT_LANGUAGE_CODE
#undef TEXT_THOUSANDS_SEPARATOR
#undef TEXT_INSTALLER_CAPTION
#undef TEXT_REPLACE_CAPTION
#undef TEXT_RENAME_CAPTION
#undef TEXT_DISK_CAPTION
#undef TEXT_CONFIRM
#undef TEXT_COMPLETE
#undef TEXT_DAMAGED
#undef TEXT_FAILED
#undef TEXT_REPLACE
#undef TEXT_RENAME
#undef TEXT_DISK
#undef TEXT_INSTALL_ITEM
#undef TEXT_INSTALL_LINE_1
#undef TEXT_INSTALL_LINE_3
#undef TEXT_ORDER_CAPTION
#undef TEXT_ORDER_MADE_WITH
#undef TEXT_ORDER_BANNER
#undef TEXT_ORDER_MARK
#undef TEXT_ORDER_PITCH
#undef TEXT_ORDER_DOWNLOAD
#undef TEXT_ORDER_WEB
#undef TEXT_ORDER_MAKER
