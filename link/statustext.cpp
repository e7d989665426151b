#include "statustext.h"

void StatusText::set(const QString &newText)
{
    std::lock_guard<std::mutex> lock(mutex);
    text = newText;
}

QString StatusText::get() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return text;
}
