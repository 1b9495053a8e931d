#include <QSignalSpy>
#include <QTest>

#include "ui/numeric_input.h"

class NumericInputTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsRoundedAndReadsBack();
  void ChangeHandlerRunsOnlyWhenTheTextChanges();
  void DoubleClickResets();
  void TextThatIsNotANumberIsNotApplied();
  void AnEditIsCommittedOnceOnEnterOrLeaving();
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

void NumericInputTest::TextThatIsNotANumberIsNotApplied() {
  membrix::NumericInput input(nullptr, 2);
  input.setToolTip(QStringLiteral("mS/cm^2"));
  input.setValue(0.3);
  QSignalSpy changed(&input, &membrix::NumericInput::valueChanged);
  const struct {
    const char* text;
    const char* reason;
  } cases[] = {{"abc", "is not a number"},  {"1,5", "use a decimal point"}, {"0.3x", "is not a number"},
               {"-", "is not a number"},    {"nan", "not a finite number"}, {"1e999", "not a finite number"}};
  for (const auto& c : cases) {
    input.setText(QString::fromLatin1(c.text));
    QVERIFY2(!input.isValid(), c.text);
    QCOMPARE(input.value(), 0.3);  // the last value it accepted
    QVERIFY2(input.toolTip().contains(QString::fromLatin1(c.reason)), qPrintable(input.toolTip()));
    QVERIFY(input.toolTip().contains(QStringLiteral("keeps 0.30")));
    QVERIFY(!input.styleSheet().isEmpty());
  }
  QCOMPARE(changed.count(), 0);
  input.setText(QStringLiteral(" 0.5 "));
  QVERIFY(input.isValid());
  QCOMPARE(changed.count(), 1);
  QCOMPARE(input.value(), 0.5);
  QCOMPARE(input.toolTip(), QStringLiteral("mS/cm^2"));
  QVERIFY(input.styleSheet().isEmpty());
  input.setText(QString());  // empty reads as 0
  QVERIFY(input.isValid());
  QCOMPARE(input.value(), 0.0);
}

void NumericInputTest::AnEditIsCommittedOnceOnEnterOrLeaving() {
  QWidget window;
  auto* input = new membrix::NumericInput(&window, 0);
  auto* other = new membrix::NumericInput(&window, 0);
  other->move(0, 40);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QSignalSpy changed(input, &membrix::NumericInput::valueChanged);
  QSignalSpy committed(input, &membrix::NumericInput::valueCommitted);
  input->setFocus();
  input->selectAll();
  QTest::keyClicks(input, QStringLiteral("37"));
  QCOMPARE(changed.count(), 2);  // each keystroke writes the field
  QCOMPARE(committed.count(), 0);
  QTest::keyClick(input, Qt::Key_Return);
  QTest::keyClick(input, Qt::Key_Return);  // nothing new to commit
  QCOMPARE(committed.count(), 1);
  QCOMPARE(committed.first().at(0).toDouble(), 37.0);

  QTest::keyClicks(input, QStringLiteral("5"));
  other->setFocus();  // leaving the input ends the edit
  QCOMPARE(committed.count(), 2);
  QCOMPARE(committed.last().at(0).toDouble(), 375.0);

  input->setValue(20.0);  // shown by the program: no edit
  input->setFocus();
  other->setFocus();
  QCOMPARE(committed.count(), 2);
  input->setFocus();
  QTest::keyClick(input, Qt::Key_Up);  // a step is a whole edit
  QCOMPARE(committed.count(), 3);
  QCOMPARE(committed.last().at(0).toDouble(), 21.0);
  // Text that is not a number commits nothing.
  input->selectAll();
  QTest::keyClicks(input, QStringLiteral("x"));
  QTest::keyClick(input, Qt::Key_Return);
  QCOMPARE(committed.count(), 3);
}

QTEST_MAIN(NumericInputTest)
#include "numeric_input_test.moc"
