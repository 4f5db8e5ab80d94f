# Streaming, remoting, data types, settings model and the HTTP command envelope of the viewer.
# Included by CMakeLists.txt of this directory, which creates the library viewer_common.

target_sources(viewer_common PRIVATE
    http_comm/cmd_reader.cpp
    http_comm/cmd_writer.cpp
    http_comm/command_params.cpp
    http_comm/gzip.cpp
    http_comm/xml_command.cpp
    logger/common_log_item.cpp
    reports/report_item.cpp
    rtl/ascii_text.cpp
    rtl/base64.cpp
    rtl/date_time.cpp
    rtl/exceptions.cpp
    rtl/memory_stream.cpp
    rtl/number_text.cpp
    rtl/string_list.cpp
    remoting/clipboard_text.cpp
    remoting/property_table.cpp
    remoting/remotable.cpp
    settings/common_settings.cpp
    settings/email_settings.cpp
    settings/filter.cpp
    streaming/xml_base_io.cpp
    streaming/xml_reader.cpp
    streaming/xml_writer.cpp
    tree/attributes_text.cpp
    tree/chronological_item.cpp
    tree/file_oper_item.cpp
    tree/file_tree_item.cpp
    tree/filter_item.cpp
    tree/oper_kind.cpp
    types/identified_item.cpp
)

vesk_add_test(NAME viewer_rtl_test
    SOURCES
        rtl/base64_test.cpp
        rtl/date_time_test.cpp
        rtl/number_text_test.cpp
        rtl/string_list_test.cpp
    LIBRARIES viewer_common GTest::gtest_main)

vesk_add_test(NAME viewer_streaming_test
    SOURCES streaming/xml_streaming_test.cpp
    LIBRARIES viewer_common GTest::gtest_main)

vesk_add_test(NAME viewer_remoting_test
    SOURCES
        remoting/clipboard_text_test.cpp
        remoting/remotable_test.cpp
        types/containers_test.cpp
    LIBRARIES viewer_common GTest::gtest_main)

vesk_add_test(NAME viewer_types_test
    SOURCES
        tree/attributes_text_test.cpp
        tree/data_types_test.cpp
        tree/file_oper_item_test.cpp
    LIBRARIES viewer_common GTest::gtest_main)

vesk_add_test(NAME viewer_settings_test
    SOURCES settings/settings_test.cpp
    LIBRARIES viewer_common GTest::gtest_main)

vesk_add_test(NAME viewer_http_comm_test
    SOURCES
        http_comm/command_envelope_test.cpp
        http_comm/gzip_test.cpp
    LIBRARIES viewer_common GTest::gtest_main)

# The fuzzers steer by coverage of the library's code, not only of their own.
if(VESK_FUZZ)
    target_compile_options(viewer_common PRIVATE -fsanitize=fuzzer-no-link)
endif()

vesk_add_fuzzer(NAME viewer_xml_reader_fuzz
    SOURCES streaming/xml_reader_fuzz.cpp
    LIBRARIES viewer_common)

vesk_add_fuzzer(NAME viewer_cmd_reader_fuzz
    SOURCES http_comm/cmd_reader_fuzz.cpp
    LIBRARIES viewer_common)

vesk_add_benchmark(NAME viewer_file_oper_reply_bench
    SOURCES tree/file_oper_reply_bench.cpp
    LIBRARIES viewer_common)
