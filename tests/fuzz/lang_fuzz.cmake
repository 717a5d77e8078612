vanto_fuzz_target(lang_fuzz DEPS vanto_config)
