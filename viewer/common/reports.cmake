# Report writers, formatting helpers, the GUI-free services of the windows and report export.
# Included by CMakeLists.txt of this directory; adds to the library viewer_common.

target_sources(viewer_common PRIVATE
    errors/assertion_failed.cpp
    locale/locale_format.cpp
    settings/date_time.cpp
    settings/format.cpp
)

vesk_add_test(NAME viewer_format_test
    SOURCES
        settings/date_time_test.cpp
        settings/format_test.cpp
    LIBRARIES viewer_common GTest::gtest_main)
