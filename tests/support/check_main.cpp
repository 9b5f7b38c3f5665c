#include "support/check.h"

int main() {
    return nuvok::test::runAll();
}
