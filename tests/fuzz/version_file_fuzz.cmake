# The version-file reader needs the text helpers and, for the text a reply
# becomes, the requester's joiner of UTF-8 pieces.
vanto_fuzz_target(version_file_fuzz DEPS vanto_config vanto_net)
