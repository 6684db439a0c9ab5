/* The smallest Windows program: the seed of the signature fuzzer, signed at build time. */
int start(void) {
    return 0;
}
