#include "base/vip/productdata.h"

#include <jsonread/jsonread.h>

#include <algorithm>

#include <map>
#include <optional>
#include <string>

namespace {

// A price may come as a number or as a numeric text; anything else counts as 0.
double priceMember(const Json::Value& object, const char* name)
{
    const Json::Value& value = jsonread::member(object, name);
    if (const std::optional<double> number = jsonread::toDouble(value))
        return *number;
    if (const std::optional<std::string> text = jsonread::toString(value)) {
        bool ok = false;
        const double parsed = QString::fromStdString(*text).trimmed().toDouble(&ok);
        return ok ? parsed : 0;
    }
    return 0;
}

const ProductItem* findIn(const std::vector<ProductItem>& list, int id)
{
    for (const ProductItem& item : list) {
        if (item.id == id)
            return &item;
    }
    return nullptr;
}

} // namespace

ProductItem ProductItem::fromJson(const Json::Value& object)
{
    ProductItem item;
    item.id = Base::intMember(object, "id");
    item.productType = Base::intMember(object, "product_type");
    item.name = QString::fromStdString(Base::stringMember(object, "name"));
    item.sum = Base::intMember(object, "sum");
    item.description = QString::fromStdString(Base::stringMember(object, "discrible"));
    item.productUrl = QString::fromStdString(Base::stringMember(object, "product_url"));
    item.primePrice = priceMember(object, "prime_price");
    item.realPrice = priceMember(object, "real_price");
    item.validDays = Base::intMember(object, "valid_day");
    return item;
}

QString ProductItem::priceText(double price) { return QString::number(price, 'g', 6); }

QString ProductItem::monthlyPriceText() const
{
    if (validDays <= 0)
        return QString();
    return QString::number(realPrice / validDays * 30, 'f', 2);
}

ProductData::ProductData(QObject* parent)
    : Base(parent)
{
}

ProductData* ProductData::instance()
{
    static ProductData* data = new ProductData;
    return data;
}

std::vector<ProductItem> ProductData::orderProducts(const Json::Value& result)
{
    std::vector<ProductItem> list;
    const Json::Value products = memberValue(result, "productList");
    if (!products.isArray())
        return list;
    // Equal validities keep the later product first, as a multi-map with front insertion would.
    std::multimap<int, ProductItem> byDays;
    int longest = 0;
    for (const Json::Value& element : products) {
        ProductItem item = ProductItem::fromJson(element);
        longest = std::max(longest, item.validDays);
        byDays.emplace_hint(byDays.lower_bound(item.validDays), item.validDays, std::move(item));
    }
    const auto first = byDays.find(longest);
    if (first != byDays.end())
        list.push_back(first->second);
    for (const auto& [days, item] : byDays) {
        if (days != longest)
            list.push_back(item);
    }
    return list;
}

void ProductData::parsePersonal(const Json::Value& result) { m_personal = orderProducts(result); }

void ProductData::parseBusiness(const Json::Value& result) { m_business = orderProducts(result); }

const ProductItem* ProductData::findPersonal(int id) const { return findIn(m_personal, id); }

const ProductItem* ProductData::findBusiness(int id) const { return findIn(m_business, id); }
