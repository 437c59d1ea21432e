/* A program linked without ASLR and DEP: the import check must refuse it. */
int main(void) { return 0; }
