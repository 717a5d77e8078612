vanto_fuzz_target(markup_attributes_fuzz DEPS vanto_duilib PkgConfig::GTK3)
