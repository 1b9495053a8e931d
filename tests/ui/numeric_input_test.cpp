#include <QSignalSpy>
#include <QTest>

#include "ui/numeric_input.h"

class NumericInputTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsRoundedAndReadsBack();
  void ChangeHandlerRunsOnlyWhenTheTextChanges();
  void DoubleClickResets();
};

void NumericInputTest::ShowsRoundedAndReadsBack() {
  membrix::NumericInput input(nullptr, 3);
  input.setValue(1.23456);
  QCOMPARE(input.text(), QStringLiteral("1.235"));
  QCOMPARE(input.value(), 1.235);
  input.setText(QString());
  QCOMPARE(input.value(), 0.0);
  input.setText(QStringLiteral(" "));
  QCOMPARE(input.value(), 0.0);
  input.setText(QStringLiteral("abc"));
  QCOMPARE(input.value(), 0.0);
  input.setValue(-0.0001);
  QCOMPARE(input.text(), QStringLiteral("0.000"));
}

void NumericInputTest::ChangeHandlerRunsOnlyWhenTheTextChanges() {
  membrix::NumericInput input(nullptr, 2);
  QSignalSpy spy(&input, &membrix::NumericInput::valueChanged);
  input.setValue(5.0);
  QCOMPARE(spy.count(), 1);
  QCOMPARE(spy.takeFirst().at(0).toDouble(), 5.0);
  input.setValue(5.001);  // shows the same text: nothing runs
  QCOMPARE(spy.count(), 0);
  QTest::keyClicks(&input, QStringLiteral("7"));  // typed by the user
  QCOMPARE(spy.count(), 1);
}

void NumericInputTest::DoubleClickResets() {
  membrix::NumericInput input(nullptr, 1);
  input.setValue(4.0);
  QTest::mouseDClick(&input, Qt::LeftButton);
  QCOMPARE(input.value(), 0.0);
  input.setDoubleClickValue(std::nullopt);
  QSignalSpy clicked(&input, &membrix::NumericInput::doubleClicked);
  input.setValue(4.0);
  QTest::mouseDClick(&input, Qt::LeftButton);
  QCOMPARE(input.value(), 4.0);
  QCOMPARE(clicked.count(), 1);
}

QTEST_MAIN(NumericInputTest)
#include "numeric_input_test.moc"
