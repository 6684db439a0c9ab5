// Writes through a null pointer: an access violation that nothing in the program handles.
#include <windows.h>

int main() {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
}
