#pragma once

#include <string>
#include <vector>

#include "certs/certificate_entry.h"
#include "examples/signer/palette.h"
#include "toolkit/listview.h"
#include "toolkit/window.h"

namespace Vy {
class CButton;
class CComboBox;
class CEdit;
class CLabel;
}  // namespace Vy

// CDlgFirmar lists every certificate the signer can use, as cards, and takes the choice of
// certificate and of the pages that carry the visible stamp. "Elegir PKCS#12..." adds a
// PKCS#12 file (asked with the file dialog, then its password until openssl takes it) to the
// listed sources. A page list is checked against the document before the dialog accepts it.
// Results of ShowModal: 1 accepted with a certificate, 2 cancelled, 0 closed otherwise.
class CDlgFirmar : public Vy::CDialog {
 public:
  CDlgFirmar(Vy::CWindow* parent, const Palette& palette, const std::string& documentName,
             const SignerOptions& options);
  ~CDlgFirmar() override;

  // SetPageCount gives the document's page count, against which a page list is checked (0:
  // not checked).
  void SetPageCount(int count) { pageCount_ = count; }

  bool OnInit() override;
  void OnKeyDown(uint16_t key, uint32_t modifiers) override;

  // Results, read after ShowModal returned 1.
  bool HasChoice() const { return chosen_; }
  const CertificateEntry& Chosen() const { return entry_; }
  int StampChoice() const { return stampChoice_; }
  const std::string& PageList() const { return pageList_; }
  // TakeOptions copies the (possibly updated) options into `to`, wiping the secrets `to` held,
  // and keeps no secret here.
  void TakeOptions(SignerOptions* to);

  // Refresh lists the certificates again and selects the first one.
  void Refresh();
  // ChoosePkcs12 asks for a PKCS#12 file and its password, then lists again with it.
  void ChoosePkcs12();
  // ItemFor is how an entry shows in the list.
  static Vy::CListView::Item ItemFor(const CertificateEntry& entry);
  // StampValueFor maps a stamp combo index to the signing pipeline's stamp mode value.
  static int StampValueFor(int index);

  // Test access.
  Vy::CListView* List() const { return list_; }
  Vy::CLabel* Summary() const { return summary_; }
  Vy::CButton* SignButton() const { return sign_; }
  Vy::CComboBox* StampCombo() const { return stamp_; }
  Vy::CEdit* PageField() const { return pages_; }
  Vy::CLabel* PagesLabel() const { return pagesLabel_; }
  Vy::CLabel* PageError() const { return pageError_; }
  const std::vector<CertificateEntry>& Entries() const { return entries_; }

 private:
  void Fill();
  void SelectionChanged(int index);
  void StampChanged(int index);
  void PagesEntered(const std::string&);
  void PagesEdited(const std::string&);
  void RefreshPageList();
  // PageListOk checks the page list when the stamp goes on chosen pages, showing what is wrong.
  bool PageListOk();
  void Accept();
  void Cancel() { EndDialog(2); }

  Palette palette_;
  std::string documentName_;
  SignerOptions options_;
  std::vector<CertificateEntry> entries_;
  CertificateEntry entry_;
  bool chosen_ = false;
  int stampChoice_ = 1;
  int pageCount_ = 0;
  std::string pageList_;
  Vy::CListView* list_ = nullptr;
  Vy::CLabel* summary_ = nullptr;
  Vy::CButton* sign_ = nullptr;
  Vy::CComboBox* stamp_ = nullptr;
  Vy::CLabel* pagesLabel_ = nullptr;
  Vy::CEdit* pages_ = nullptr;
  Vy::CLabel* pageError_ = nullptr;
};
