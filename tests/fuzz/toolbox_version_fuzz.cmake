# The version reader needs only the text helpers, not the whole toolbox.
vanto_fuzz_target(toolbox_version_fuzz DEPS vanto_os)
target_sources(toolbox_version_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/src/toolbox/VersionText.cpp)
