// The forwarding module has no code of its own.
