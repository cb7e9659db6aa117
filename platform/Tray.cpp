#include "platform/Tray.h"

#include "text/CodePage.h"

#include <cstring>

QString NotifyIconData::tip() const
{
    const auto* end = static_cast<const char*>(std::memchr(szTip.data(), 0, szTip.size()));
    const qsizetype n = end ? end - szTip.data() : qsizetype(szTip.size());
    return CodePage::decode(QByteArrayView(szTip.data(), n));
}

void NotifyIconData::setTip(const QString& text)
{
    const QByteArray bytes = CodePage::encode(text).left(int(szTip.size()) - 1);
    szTip.fill(' ');
    std::memcpy(szTip.data(), bytes.constData(), size_t(bytes.size()));
    szTip[size_t(bytes.size())] = '\0';
}
