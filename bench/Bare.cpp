// A program that does nothing, built with the client's compiler and flags: how fast a
// process can start here.
int main() {}
