#include "app/tervalo.h"

void tervalo::reportBug() {}
void tervalo::reportImprovementSuggestion() {}
