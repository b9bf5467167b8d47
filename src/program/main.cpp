#include "program/application.h"

int main(int argc, char** argv) {
    return lumenta::runApplication(argc, argv);
}
