# The reply reader needs the envelope and the address splitter, not the
# windows of the account code.
vanto_fuzz_target(userinfo_reply_fuzz DEPS vanto_net vanto_library)
target_sources(userinfo_reply_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/src/account/UserInfoReply.cpp)
target_include_directories(userinfo_reply_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/src)
