#include "app/Application.h"

#include <malloc.h>

int main() {
    // Response bodies of tens of megabytes make glibc raise its mmap threshold for good, after
    // which every later large buffer stays in the heap and the resident size only grows. A fixed
    // threshold hands big blocks back to the system as soon as they are freed.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    velk::Application::EndProcess(velk::Application::Run());
}
