#include "app/tervalo.h"

void tervalo::applyHelpTooltips() {}
void tervalo::showFirstStartNotice() {}
