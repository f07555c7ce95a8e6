/* The smallest real PE file the host tests need: a 32-bit Windows console program that returns
   0, built by the Windows cross compiler, then signed and given a certificate table. */
int main(void) { return 0; }
