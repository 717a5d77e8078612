vanto_fuzz_target(envelope_fuzz DEPS vanto_net)
