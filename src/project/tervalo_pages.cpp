#include "app/tervalo.h"

void tervalo::renderPage() {}
void tervalo::nextPage() {}
void tervalo::returnPage() {}
void tervalo::changeWidgetPage() {}
void tervalo::deletePage() {}
void tervalo::copy() {}
void tervalo::paste() {}
