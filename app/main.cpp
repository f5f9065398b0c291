// The application's entry point; app/Application.cpp composes the program.
#include "app/Application.h"

int main(int argc, char* argv[])
{
    return runApplication(argc, argv);
}
