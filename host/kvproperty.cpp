#include "kvproperty.h"

#include "kvnode.h"

#include <algorithm>
#include <cmath>

KvNumericProperty::KvNumericProperty(QObject *parent)
    : KvBase(parent)
{
}

void KvNumericProperty::setLimits(double minimum, double maximum)
{
    Q_ASSERT(minimum <= maximum);
    minLimit = minimum;
    maxLimit = maximum;
}

bool KvNumericProperty::hasLimits() const
{
    return std::isfinite(minLimit) || std::isfinite(maxLimit);
}

double KvNumericProperty::clampValue(double v) const
{
    return clamped ? std::clamp(v, minLimit, maxLimit) : v;
}

KvFloatProperty::KvFloatProperty(const QString &name, float defaultValue, KvNode *owner)
    : KvNumericProperty(owner)
    , ownerNode(owner)
    , defaultValue(defaultValue)
{
    setObjectName(name);
}

std::vector<KvFloatProperty::Key>::const_iterator KvFloatProperty::lowerBound(int t) const
{
    // Imports key and exports sample in time order: the answer is then the
    // last one or the one after it, found without a search.
    const size_t n = keys.size();
    for (size_t i = cursor; i <= cursor + 1 && i <= n; ++i) {
        if ((i == n || keys[i].time >= t) && (i == 0 || keys[i - 1].time < t)) {
            cursor = i;
            return keys.cbegin() + ptrdiff_t(i);
        }
    }
    const auto found = std::lower_bound(keys.cbegin(), keys.cend(), t,
                                        [](const Key &key, int time) { return key.time < time; });
    cursor = size_t(found - keys.cbegin());
    return found;
}

int KvFloatProperty::currentTime() const
{
    return ownerNode ? ownerNode->currentTime() : 0;
}

bool KvFloatProperty::findKeyAt(int t, int &index) const
{
    const auto it = lowerBound(t);
    if (it == keys.cend() || it->time != t)
        return false;
    index = int(it - keys.cbegin());
    return true;
}

float KvFloatProperty::getValue(int t) const
{
    if (keys.empty())
        return defaultValue;
    const auto next = lowerBound(t);
    if (next == keys.cend())
        return keys.back().value;
    if (next->time == t || next == keys.cbegin())
        return next->value;
    const auto previous = next - 1;
    const double f = double(t - previous->time) / double(next->time - previous->time);
    return float(previous->value + f * (double(next->value) - previous->value));
}

void KvFloatProperty::setKey(int t, float v)
{
    const Key key{t, float(clampValue(v))};
    if (keys.empty() || keys.back().time < t) {
        keys.push_back(key);
        return;
    }
    const auto it = keys.begin() + (lowerBound(t) - keys.cbegin());
    if (it != keys.end() && it->time == t)
        *it = key;
    else
        keys.insert(it, key);
}

int KvFloatProperty::removeKeys(const KvTimeRange &range)
{
    if (range.start > range.end)
        return 0;
    const auto first = keys.begin() + (lowerBound(range.start) - keys.cbegin());
    auto last = first;
    while (last != keys.end() && last->time <= range.end)
        ++last;
    const int removed = int(last - first);
    keys.erase(first, last);
    return removed;
}

float KvFloatProperty::getCurrentValue() const
{
    return getValue(currentTime());
}

void KvFloatProperty::setCurrentValue(float v)
{
    setKey(currentTime(), v);
}
