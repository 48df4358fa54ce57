# Who makes this program and where it lives: the About box's maker lines and link targets.
# This is the one place to change them; the dialog reads them from the generated ProductInfo.h.
set(ZR7_MAKER_NAME "ZR7 Programmer project")
set(ZR7_MAKER_YEARS "2026")
set(ZR7_REPOSITORY_URL "https://zr7.example.org/source")
set(ZR7_RELEASES_URL "https://zr7.example.org/releases")
set(ZR7_CONTACT_EMAIL "zr7@example.org")

set(ZR7_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/ProductInfo.h.in ${ZR7_GENERATED_DIR}/ProductInfo.h @ONLY)
