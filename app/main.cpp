#include "app/Application.h"

int main() {
    velk::Application::EndProcess(velk::Application::Run());
}
