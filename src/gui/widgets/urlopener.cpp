#include "gui/widgets/urlopener.h"

#include <QDesktopServices>

bool UrlOpener::open(const QUrl &url)
{
    const Function &opener = current();
    return opener ? opener(url) : QDesktopServices::openUrl(url);
}

void UrlOpener::setOpener(Function opener)
{
    current() = std::move(opener);
}

UrlOpener::Function &UrlOpener::current()
{
    static Function opener;
    return opener;
}
