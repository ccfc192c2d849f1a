# Settings every Quorix target shares.
add_library(quorix_common INTERFACE)
target_compile_features(quorix_common INTERFACE cxx_std_20)
target_compile_options(quorix_common INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(quorix_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_KEYWORDS
    QT_USE_QSTRINGBUILDER
)
target_include_directories(quorix_common INTERFACE ${PROJECT_SOURCE_DIR}/src)
