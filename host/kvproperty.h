#pragma once

#include "kvbase.h"

#include <algorithm>
#include <limits>
#include <vector>

class KvNode;

// A property with optional limits. When clamped, every value set on it is
// held inside [minimum, maximum], so limits shape the keys that get stored.
class KVCORE_EXPORT KvNumericProperty : public KvBase
{
    Q_OBJECT
public:
    explicit KvNumericProperty(QObject *parent = nullptr);

    bool isClamped() const { return clamped; }
    void setIsClamped(bool on) { clamped = on; }
    // minimum must not exceed maximum.
    void setLimits(double minimum, double maximum);
    double getMinLimit() const { return minLimit; }
    double getMaxLimit() const { return maxLimit; }
    bool hasLimits() const;
    // v held inside the limits when clamped, v itself otherwise.
    double clampValue(double v) const;

private:
    bool clamped = false;
    double minLimit = -std::numeric_limits<double>::infinity();
    double maxLimit = std::numeric_limits<double>::infinity();
};

// An animatable float: keys sorted by time (ticks), linear interpolation
// between keys, constant outside the keyed span, the default value without keys.
class KVCORE_EXPORT KvFloatProperty : public KvNumericProperty
{
    Q_OBJECT
public:
    // owner supplies the current scene time; it may be null (time 0).
    KvFloatProperty(const QString &name, float defaultValue, KvNode *owner);

    KvNode *owner() const { return ownerNode; }
    float getDefaultValue() const { return defaultValue; }
    void setDefaultValue(float v) { defaultValue = float(clampValue(v)); }

    int getNumKeys() const { return int(keys.size()); }
    int getKeyTime(int index) const { return keys[size_t(index)].time; }
    double getKeyValue(int index) const { return keys[size_t(index)].value; }
    // True when a key lies at time t; index is then its position. O(log n).
    virtual bool findKeyAt(int t, int &index) const;
    // Value at time t.
    float getValue(int t) const;
    // Sets a key (clamped when clamped); a key at the same time is replaced.
    void setKey(int t, float v);
    // Removes the keys whose times lie in range; returns how many.
    int removeKeys(const KvTimeRange &range);
    void clearKeys() { keys.clear(); }
    // Room for count keys, so that keying a long take does not regrow them.
    void reserveKeys(int count) { keys.reserve(size_t(std::max(count, 0))); }

    // The value at the owner's current scene time.
    virtual float getCurrentValue() const;
    // Keys v at the owner's current scene time.
    virtual void setCurrentValue(float v);

private:
    struct Key
    {
        int time;
        float value;
    };
    std::vector<Key>::const_iterator lowerBound(int t) const;
    int currentTime() const;

    KvNode *ownerNode;
    float defaultValue;
    std::vector<Key> keys;
    mutable size_t cursor = 0; // where the last search ended
};
