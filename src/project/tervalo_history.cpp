#include "app/tervalo.h"

void tervalo::pageBack() {}
void tervalo::pageForward() {}
void tervalo::recordHistory() {}
