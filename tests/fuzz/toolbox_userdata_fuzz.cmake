# The user-data reader needs only the text helpers, not the whole toolbox.
vanto_fuzz_target(toolbox_userdata_fuzz DEPS vanto_os)
target_sources(toolbox_userdata_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/src/toolbox/UserData.cpp)
