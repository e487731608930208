#include "ui/measurechooser.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QSignalBlocker>

namespace isolumen {

using Statistic = RegionMeasure::Statistic;

MeasureChooser::MeasureChooser(const QStringList& species, QWidget* parent)
    : QWidget(parent), m_statistic(new QComboBox(this)), m_species(new QComboBox(this)),
      m_denominator(new QComboBox(this))
{
    m_statistic->setObjectName(QStringLiteral("statistic"));
    m_species->setObjectName(QStringLiteral("species"));
    m_denominator->setObjectName(QStringLiteral("denominator"));
    m_species->addItems(species);
    m_denominator->addItem(QStringLiteral("(no ratio)"));
    for (const QString& s : species)
        m_denominator->addItem(QStringLiteral("/ ") + s);
    offerStatistics();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_statistic);
    layout->addWidget(m_species);
    layout->addWidget(m_denominator);
    connect(m_denominator, &QComboBox::currentIndexChanged, this, &MeasureChooser::offerStatistics);
    for (QComboBox* box : {m_statistic, m_species, m_denominator})
        connect(box, &QComboBox::currentIndexChanged, this, &MeasureChooser::changed);
}

void MeasureChooser::offerStatistics()
{
    const QSignalBlocker quiet(m_statistic);
    const QVariant chosen = m_statistic->currentData();
    m_statistic->clear();
    const bool ratio = m_denominator->currentIndex() > 0;
    m_statistic->addItem(QStringLiteral("mean"), int(Statistic::Mean));
    if (ratio)
        m_statistic->addItem(QStringLiteral("ratio of sums"), int(Statistic::RatioOfSums));
    else
        m_statistic->addItem(QStringLiteral("sum"), int(Statistic::Sum));
    // A ratio is most often wanted as its ratio of sums.
    const int keep = m_statistic->findData(chosen);
    m_statistic->setCurrentIndex(keep >= 0 ? keep : (ratio ? 1 : 0));
}

RegionMeasure MeasureChooser::measure() const
{
    RegionMeasure m;
    m.statistic = Statistic(m_statistic->currentData().toInt());
    m.species = m_species->currentIndex();
    if (m_denominator->currentIndex() > 0)
        m.denominator = m_denominator->currentIndex() - 1;
    return m;
}

void MeasureChooser::setMeasure(const RegionMeasure& measure)
{
    {
        const QSignalBlocker quiet(this);
        m_species->setCurrentIndex(measure.species);
        m_denominator->setCurrentIndex(measure.denominator ? *measure.denominator + 1 : 0);
        m_statistic->setCurrentIndex(m_statistic->findData(int(measure.statistic)));
    }
    emit changed();
}

} // namespace isolumen
