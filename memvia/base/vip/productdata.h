#pragma once

#include "base/base.h"

#include <QString>

#include <vector>

// One product of a list reply. A plain value: whoever shows a product keeps its own copy, so a newer list
// never pulls it away.
struct ProductItem {
    int id = -1;
    int productType = -1;
    QString name;
    int sum = -1;
    QString description; // "discrible"
    QString productUrl;
    double primePrice = 0;
    double realPrice = 0;
    int validDays = -1;

    static ProductItem fromJson(const Json::Value& object);
    // The price as text, up to 6 significant digits ("188", "8.5").
    static QString priceText(double price);
    // The price of 30 days with two decimals; empty when the product has no positive validity.
    QString monthlyPriceText() const;
};

// The last personal and business product lists. A new reply replaces a list. One process-wide instance,
// created on first use and never destroyed. GUI thread.
class ProductData : public Base {
    Q_OBJECT
public:
    static ProductData* instance();

    void parsePersonal(const Json::Value& result);
    void parseBusiness(const Json::Value& result);

    const std::vector<ProductItem>& personal() const { return m_personal; }
    const std::vector<ProductItem>& business() const { return m_business; }
    const ProductItem* findPersonal(int id) const;
    const ProductItem* findBusiness(int id) const;

    // The list order: one product of the longest validity first (the last of them in the reply), then every
    // product of another validity by ascending days.
    static std::vector<ProductItem> orderProducts(const Json::Value& result);

private:
    explicit ProductData(QObject* parent = nullptr);

    std::vector<ProductItem> m_personal;
    std::vector<ProductItem> m_business;
};
