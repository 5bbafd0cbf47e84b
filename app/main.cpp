#include "app/Application.h"

int main() { return velk::Application::Run(); }
