// Program entry (module main): chooses update or normal mode from the command line.
int main() { return 0; }
