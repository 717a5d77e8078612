# The entry checks need only the text and path helpers, not the whole toolbox.
vanto_fuzz_target(toolbox_entry_fuzz DEPS vanto_os)
target_sources(toolbox_entry_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/src/toolbox/ServerNames.cpp
                                          ${PROJECT_SOURCE_DIR}/src/toolbox/UserData.cpp)
