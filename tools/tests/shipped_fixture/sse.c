/* A program whose arithmetic is built for SSE2 (see tools/CMakeLists.txt). */
volatile double value = 3.0;

int main(void) { return (int)(value * 1.5); }
