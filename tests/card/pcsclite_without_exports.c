/* Stands in for a PC/SC library that loads but lacks the expected entry points. */
int PcscStandIn(void) { return 0; }
