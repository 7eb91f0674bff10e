#include "app/tervalo.h"

void tervalo::openBrowserLink(const QString &) {}
void tervalo::showVersion() {}
void tervalo::openDocument(const QString &) {}
