# Report writers, formatting helpers, the GUI-free services of the windows and report export.
# Included by CMakeLists.txt of this directory; adds to the library viewer_common.

# The natural order of names uses ICU's collator, the engine behind the GUI's QCollator.
find_package(ICU REQUIRED COMPONENTS uc i18n)

target_sources(viewer_common PRIVATE
    errors/assertion_failed.cpp
    locale/locale_format.cpp
    settings/date_time.cpp
    settings/format.cpp
    text/text_encoding.cpp
    text/buffered_text_writer.cpp
    report/report_writer.cpp
    report/csv_report_writer.cpp
    report/html_writer.cpp
    report/html_report_writer.cpp
    report/text_report_writer.cpp
    gui_types/validator.cpp
    gui_types/version_text.cpp
    gui_types/natural_compare.cpp
    gui_types/normalize_sentence.cpp
    gui_types/report_export.cpp
)
target_link_libraries(viewer_common PRIVATE ICU::uc ICU::i18n)

vesk_add_test(NAME viewer_format_test
    SOURCES
        settings/date_time_test.cpp
        settings/format_test.cpp
    LIBRARIES viewer_common GTest::gtest_main)

vesk_add_test(NAME viewer_report_test
    SOURCES
        text/text_encoding_test.cpp
        report/csv_report_writer_test.cpp
        report/html_report_writer_test.cpp
        report/text_report_writer_test.cpp
    LIBRARIES viewer_common GTest::gtest_main)

vesk_add_test(NAME viewer_gui_types_test
    SOURCES
        gui_types/validator_test.cpp
        gui_types/version_text_test.cpp
        gui_types/natural_compare_test.cpp
        gui_types/normalize_sentence_test.cpp
        gui_types/report_export_test.cpp
    LIBRARIES viewer_common GTest::gtest_main)
# The golden files of the report writers; the export tests compare their files with them too.
foreach(test viewer_report_test viewer_gui_types_test)
    target_compile_definitions(${test} PRIVATE
        NIMBREL_REPORT_TESTDATA="${CMAKE_CURRENT_SOURCE_DIR}/report/testdata")
endforeach()
