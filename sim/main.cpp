// Placeholder until the simulated unit lands.
int main() { return 0; }
