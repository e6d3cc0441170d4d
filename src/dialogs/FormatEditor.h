#pragma once

#include <QDialog>
#include <optional>

#include "engine/MetadataToken.h"

class QComboBox;
class QLabel;
class QPushButton;
class TokenField;

// The sheet where the user builds the custom file-name pattern out of text and song values.
class FormatEditor : public QDialog {
    Q_OBJECT

  public:
    explicit FormatEditor(QWidget* parent = nullptr);

    bool cancel() const { return cancel_; }
    const std::optional<kelvara::FormatList>& formatArray() const { return formatArray_; }
    std::optional<int> trackNumberFormat() const { return trackNumberFormat_; }

    TokenField* tokensField() const { return tokensField_; }
    QComboBox* namesPopup() const { return namesPopup_; }
    QComboBox* leadingZeroesPopup() const { return leadingZeroesPopup_; }
    QLabel* demoLabel() const { return demoLabel_; }
    QPushButton* addButton() const { return addButton_; }
    QPushButton* okButton() const { return okButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }

    // The preview of a file name, from fixed sample values.
    static constexpr const char* sampleTitle = "First Light";
    static constexpr const char* sampleArtist = "Nora Vale";
    static constexpr const char* sampleAlbum = "Northern Roads";

  public Q_SLOTS:
    void reject() override;  // Cancel and Escape: nothing is stored

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void fitHeight();
    void addToken();
    void showDemo();
    void okPressed();

    bool cancel_ = false;
    std::optional<kelvara::FormatList> formatArray_;
    std::optional<int> trackNumberFormat_;
    TokenField* tokensField_ = nullptr;
    QComboBox* namesPopup_ = nullptr;
    QComboBox* leadingZeroesPopup_ = nullptr;
    QLabel* demoLabel_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};
