vanto_fuzz_target(image_header_fuzz DEPS vanto_duilib_gtk PkgConfig::GTK3)
