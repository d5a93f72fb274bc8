#include <windows.h>

#include <gtest/gtest.h>

#include "userdata_support.h"

#include <string>
#include <vector>

#include "userdata/address_book.h"

namespace {

using namespace userdata_test;

using AddressBookTest = RecipientBoxTest;

TEST_F(AddressBookTest, AddRecipientsAppendsNewPiecesInOrderIgnoringCaseAndBlanks) {
  // An entry that merely begins with a piece is another address.
  SetEntries({u"anna@a.org", u"bert@b.org.uk"});
  AddRecipients(box_, u"bert@b.org,ANNA@A.ORG,carl@c.org");
  EXPECT_EQ(ListEntries(),
            (Entries{u"anna@a.org", u"bert@b.org.uk", u"bert@b.org", u"carl@c.org"}));
  SetEntries({u"anna@a.org", u"bert@b.org", u"carl@c.org"});

  // Blanks are dropped before splitting; a piece seen twice in one text is added once.
  AddRecipients(box_, u" dora@d.org , Dora@D.org,x");
  EXPECT_EQ(ListEntries(),
            (Entries{u"anna@a.org", u"bert@b.org", u"carl@c.org", u"dora@d.org", u"x"}));

  // A piece longer than an entry may be is refused, the others still go in.
  const std::u16string overlong = std::u16string(250, u'a') + u"@b.org";
  AddRecipients(box_, (overlong + u",eve@e.org").c_str());
  EXPECT_EQ(ListEntries().size(), 6u);
  EXPECT_EQ(ListEntries().back(), u"eve@e.org");
}

TEST_F(AddressBookTest, SaveReplacesTheFileWithSectionCountAndNumberedEntriesInListOrder) {
  SaveAddressBook(box_);
  EXPECT_EQ(device_.Read(BOOK_FILE), Utf16Bytes(u"[Address]\r\ncount=0\r\n"));

  device_.Write(BOOK_FILE, std::string(5000, 'x'));  // an older, longer file
  SetEntries({u"zoë@z.org", u"amy@a.org", u"Bob@b.org"});
  EXPECT_TRUE(SaveAddressBook(box_));
  EXPECT_EQ(device_.Read(BOOK_FILE),
            Utf16Bytes(u"[Address]\r\ncount=3\r\naddress0=zoë@z.org\r\naddress1=amy@a.org\r\n"
                       u"address2=Bob@b.org\r\n"));

  // And back, also past nine entries: "address1=" must not be found inside "address10=".
  Entries many;
  for (char16_t i = 0; i < 11; ++i) many.push_back(u"p" + std::u16string(1, u'a' + i) + u"@x.y");
  SetEntries(many);
  SaveAddressBook(box_);
  SetEntries({});
  EXPECT_TRUE(LoadAddressBook(box_));
  EXPECT_EQ(ListEntries(), many);
}

TEST_F(AddressBookTest, LoadKeepsValidEntriesBelowTheCountOncePerAddress) {
  const struct {
    const char* name;
    std::u16string file;
    Entries expected;
  } cases[] = {
      {"gap in the keys and an entry beyond the count",
       u"[Address]\r\ncount=2\r\naddress0=a@b.c\r\naddress2=x@y.z\r\n",
       {u"a@b.c"}},
      {"the same address twice, in two letter cases",
       u"count=3\r\naddress0=Mia@M.org\r\naddress1=mia@m.org\r\naddress2=MIA@M.ORG\r\n",
       {u"Mia@M.org"}},
      {"blanks around an entry are dropped, a blank inside skips it",
       u"count=2\r\naddress0=  pat@p.org \r\naddress1=pa t@p.org\r\n",
       {u"pat@p.org"}},
      {"malformed entries are skipped one by one",
       u"count=6\r\naddress0=@a.b\r\naddress1=a.b@\r\naddress2=ab\r\naddress3=a,b@c\r\n"
       u"address4=nobody\r\naddress5=ok@k.k\r\n",
       {u"ok@k.k"}},
      {"the first of two keys with one number wins",
       u"count=2\r\naddress0=a@b.c\r\naddress1=d@e.f\r\naddress0=x@y.z\r\n",
       {u"a@b.c", u"d@e.f"}},
      {"no section line, keys in another order",
       u"address1=two@t.t\r\naddress0=one@o.o\r\ncount=2",
       {u"one@o.o", u"two@t.t"}},
      {"count with leading blank and sign",
       u"count= +2\r\naddress0=a@b.c\r\naddress1=d@e.f\r\n",
       {u"a@b.c", u"d@e.f"}},
      {"count followed by other characters",
       u"count=1x\r\naddress0=a@b.c\r\naddress1=d@e.f\r\n",
       {u"a@b.c"}},
      {"non-numeric count", u"count=two\r\naddress0=a@b.c\r\n", {}},
      {"no count", u"[Address]\r\naddress0=a@b.c\r\n", {}},
      {"a damaged huge count still loads what is there",
       u"count=99999999999999\r\naddress0=a@b.c\r\naddress1=d@e.f\r\n",
       {u"a@b.c", u"d@e.f"}},
      {"a high number below the count is kept, in number order",
       u"count=999999999\r\naddress999999998=hi@h.h\r\naddress7=lo@l.l\r\n",
       {u"lo@l.l", u"hi@h.h"}},
      {"keys with leading zeros are no entry's",
       u"count=9\r\naddress01=a@b.c\r\naddress1 =d@e.f\r\n",
       {}},
      {"an over-long value is refused, not cut into another address",
       u"count=2\r\naddress0=" + std::u16string(250, u' ') + u"m77@example.com\r\naddress1=ok@k.k",
       {u"ok@k.k"}},
  };
  for (const auto& c : cases) {
    SetEntries({});
    device_.WriteText(BOOK_FILE, c.file);
    EXPECT_TRUE(LoadAddressBook(box_)) << c.name;
    EXPECT_EQ(ListEntries(), c.expected) << c.name;
  }
}

TEST_F(AddressBookTest, LoadAddsToTheListAndSharesTheFileWithOtherReaders) {
  SetEntries({u"Old@o.org"});
  EXPECT_FALSE(LoadAddressBook(box_));  // no file
  EXPECT_EQ(ListEntries(), (Entries{u"Old@o.org"}));

  device_.WriteText(BOOK_FILE, u"count=2\r\naddress0=old@O.ORG\r\naddress1=new@n.org\r\n");
  const HANDLE reader = CreateFileW(u"\\Windows\\CEVireoRec.arr", GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(LoadAddressBook(box_));
  EXPECT_EQ(ListEntries(), (Entries{u"Old@o.org", u"new@n.org"}));
  CloseHandle(reader);
}

}  // namespace
