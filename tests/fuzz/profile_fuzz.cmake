vanto_fuzz_target(profile_fuzz DEPS vanto_os)
