// Does nothing: its peak memory is what any process of this build costs.
int main() { return 0; }
