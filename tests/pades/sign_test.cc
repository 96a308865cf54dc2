#include <gtest/gtest.h>

#include "pades/pipeline.h"
#include "pades/sign.h"
#include "tests/pades/pades_fixture.h"

using namespace pades_test;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

TEST(SignPdf, SignsSimpleDocumentValidForEveryTool) {
  TempDir dir;
  ASSERT_TRUE(WriteFileText(dir.File("in.pdf"), SimpleDocument(3)));
  KeySigner key(Signer().id.keyPem);
  SignResult r = SignPdf(dir.File("in.pdf"), dir.File("out.pdf"), Signer().certificate, key.Callback(), {},
                         StampOptions{});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.isSigned);
  EXPECT_EQ(r.info, "firmado en prueba");
  ExpectValid(dir.File("out.pdf"), 1);
}

}  // namespace
