// The floor of install_bench for the installer program: a console program that ends at once.
int main() { return 0; }
