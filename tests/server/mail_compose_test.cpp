// Hostile names, subjects, texts and file names, composed and read back by Python's e-mail
// package under its strict policy: what comes out must be exactly what went in, with no
// defect, no over-long line and no bare CR.
#include "server/mail_compose.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "mail_support.h"
#include "server/cartoons.h"
#include "support/temp_dir.h"

namespace murmel::server {
namespace {

using server_test::List;

struct Case {
  const char* label;
  Mailbox from;
  Mailbox replyTo;
  std::string subject;
  std::string text;
  std::vector<MailAttachment> attachments;
  MailAttachment picture;  // with a voice note: the HTML alternative
  std::string voiceNote;
  std::string structure = "multipart/mixed(text/plain";
  std::string html;  // part of the HTML: the text escaped, its line breaks kept
};

const MailAttachment kGif{"picture.gif", "image/gif", {'G', 'I', 'F', '8', '9', 'a'}};
const std::string kReadable =
    "multipart/mixed(multipart/alternative(text/plain,multipart/related(text/html,image/";

const std::string kLongName =
    "Ann \"The Voice\" Lee, evil@y <x> \\ J\u00fcrgen M\u00fcller-L\u00fcdenscheidt "
    "\u65e5\u672c\u8a9e" +
    [] {
      std::string tail;
      for (int i = 0; i < 30; ++i) tail += " and on";
      return tail;
    }();

const std::vector<Case> kCases = {
    {"quotes and backslash, CRLF text",
     {"Ann \"The Voice\" \\ Lee", "ann@example.org"},
     {"x, evil@y", "reply@example.org"},
     "Hello",
     "one\r\ntwo\r\n",
     {{"voice.mp3", "audio/mpeg", {1, 2, 3}, "Voice message, 0:42"}}},
    {"non-ASCII everywhere, bare CR",
     {"J\u00fcrgen M\u00fcller \u65e5\u672c", "juergen@example.org"},
     {"\u00c9lodie", "elodie@example.org"},
     "Gr\u00fc\u00dfe aus K\u00f6ln \u2014 \u65e5\u672c\u8a9e",
     "caf\u00e9\rna\u00efve\r\rend",
     {},
     kGif,
     "Voice message, 0:42",
     kReadable + "gif)))",
     "caf\u00e9<br>\nna\u00efve<br>\n<br>\nend"},
    {"markup in every field of a voice message",
     {"<b>Ann</b> & \"Co\"", "ann@example.org"},
     {"<img src=x onerror=alert(1)>", "reply@example.org"},
     "<script>alert('subject')</script>",
     "<script>alert(1)</script> & </p>\r\nline two",
     {{"voice.wav", "audio/wav", {1, 2, 3}}},
     {"cat.png", "image/png", {0x89, 'P', 'N', 'G'}},
     "Voice message, 0:01, attached as <voice>.wav",
     kReadable + "png)),audio/wav",
     "&lt;script&gt;alert(1)&lt;/script&gt; &amp; &lt;/p&gt;<br>\nline two"},
    {"long name, long subject, a 1023-character line",
     {kLongName, "ann@example.org"},
     {kLongName, "reply@example.org"},
     kLongName + kLongName,
     "short\n" + std::string(1023, 'x') + "\nshort",
     {}},
    {"texts that look like encoded words",
     {"=?utf-8?q?evil?=", "ann@example.org"},
     {},
     "=?utf-8?q?evil?=",
     "=3D=?utf-8?q?x?=\n",
     {{"=?utf-8?q?x?=.wav", "audio/wav", {1}}}},
    {"blanks that must survive",
     {"  J\u00fcrgen  M\u00fcller \u00e9 a  b  ", "ann@example.org"},
     {" ", "reply@example.org"},
     "  two  spaces  ",
     "trailing blank \n\ttab\n",
     {}},
    {"empty text, empty subject, empty and awkwardly named attachments",
     {"", "ann@example.org"},
     {},
     "",
     "",
     {{"empty.bin", "application/octet-stream", {}},
      {"\u00c4 \"quoted\" \u65e5\u672c name that goes on and on and on and on.wav",
       "audio/wav",
       {0, 255}},
      {"a\\b \".wav", "audio/wav", {}}}},
};

TEST(MailCompose, HostileContentReadsBackExactlyWithoutDefects) {
  const murmel::test::TempDir folder;
  for (const Case& test : kCases) {
    SCOPED_TRACE(test.label);
    MailContent content;
    content.from = test.from;
    content.replyTo = test.replyTo;
    content.to = {"bob@example.org"};
    content.subject = test.subject;
    content.text = test.text;
    content.attachments = test.attachments;
    content.date = 1700000000;
    content.messageId = "1700000000.1.1@murmelpost";
    content.received = "from [192.0.2.1] by murmelpost; Tue, 14 Nov 2023 22:13:20 +0000";
    content.kind = "voice";
    content.picture = test.picture;
    content.pictureAlt = "A cartoon cat";
    content.voiceNote = test.voiceNote;
    const std::string file = folder / "mail.eml";
    std::ofstream(file, std::ios::binary) << ComposeMail(content);

    const server_test::ParsedMail mail = server_test::ParseMail(file);
    ASSERT_EQ(mail.run.status, 0) << mail.run.output;
    EXPECT_EQ(mail.Strings("defects"), List{});
    EXPECT_EQ(mail.Strings("from"), (List{test.from.name, test.from.address}));
    const Mailbox& reply = test.replyTo;
    const List replyTo = reply.address.empty() ? List{} : List{reply.name, reply.address};
    EXPECT_EQ(mail.Strings("reply_to"), replyTo);
    EXPECT_EQ(mail.Strings("to"), List{"bob@example.org"});
    EXPECT_EQ(mail.Strings("Subject"), List{test.subject});
    const List headers = mail.Strings("headers");
    ASSERT_GE(headers.size(), 2u);
    EXPECT_EQ(headers[0] + ": " + headers[1], "Received: " + content.received);
    EXPECT_EQ(mail.Strings("X-Murmelpost-Kind"), List{"voice"});
    // Line ends come out as LF, whatever the client sent.
    const std::string expectedText = std::regex_replace(test.text, std::regex("\r\n?"), "\n");
    const List text = mail.Strings("text");
    ASSERT_EQ(text.size(), 1u);
    EXPECT_TRUE(text[0].starts_with(expectedText)) << text[0];
    EXPECT_TRUE(mail.String("structure").starts_with(test.structure)) << mail.String("structure");
    const List html = mail.Strings("html");
    if (!test.voiceNote.empty()) {
      EXPECT_NE(text[0].find(test.voiceNote), std::string::npos);
      // Markup anywhere in the content shows as text; the only image is the picture by cid.
      ASSERT_EQ(html.size(), 1u);
      for (const char* markup : {"<script", "<b>", "<img src=x", "<voice>"}) {
        EXPECT_EQ(html[0].find(markup), std::string::npos) << html[0];
      }
      const List ids = mail.Strings("content_ids");
      ASSERT_EQ(ids.size(), 1u);
      EXPECT_NE(html[0].find("src=\"cid:" + ids[0] + "\" alt=\"A cartoon cat\""), std::string::npos)
          << html[0];
      EXPECT_NE(html[0].find(test.html), std::string::npos) << html[0];
    } else {
      EXPECT_EQ(html, List{});
    }
    List attachments;
    for (const MailAttachment& file : test.attachments) {
      attachments.insert(attachments.end(), {"filename", file.fileName, "type", file.mimeType,
                                             "description", file.description, "size"});
    }
    EXPECT_EQ(mail.Strings("attachments"), attachments);
  }
}

// A voice message as a recipient sees it: Chromium renders its HTML part with the cartoon
// and with images blocked. MURMELPOST_SCREENSHOT_DIR keeps the screenshots.
TEST(MailCompose, VoiceMessageRendersInABrowserWithAndWithoutImages) {
  const murmel::test::TempDir folder;
  const CartoonFile& cat = CartoonFiles()[0];
  MailContent content;
  content.from = {"Ann Lee via Murmelpost", "murmelpost@service.example"};
  content.replyTo = {"Ann Lee", "ann@example.org"};
  content.to = {"bob@example.org"};
  content.subject = "Dinner on Friday?";
  content.text =
      "Hi Bob,\nI left you a voice message about Friday.\n"
      "Bring the good bread & the cheese!\n\nAnn";
  content.attachments = {{"voice.wav", "audio/wav", {1, 2, 3}}};
  content.picture = {std::string(cat.name), "image/png", {cat.bytes.begin(), cat.bytes.end()}};
  content.pictureAlt = "A cartoon cat";
  content.voiceNote = "Voice message, 0:42, attached as voice.wav";
  content.messageId = "1700000000.1.1@murmelpost";
  const std::string mail = folder / "mail.eml";
  std::ofstream(mail, std::ios::binary) << ComposeMail(content);

  const char* keep = std::getenv("MURMELPOST_SCREENSHOT_DIR");
  const std::string script = server_test::TestScript("render_mail.py").string();
  const auto rendered = server_test::RunCommand("python3 '" + script + "' '" + mail + "' '" +
                                                (keep != nullptr ? keep : folder.path()) + "'");
  if (rendered.status == 77 << 8) GTEST_SKIP() << rendered.output;  // no Chromium
  EXPECT_EQ(rendered.status, 0) << rendered.output;
}

}  // namespace
}  // namespace murmel::server
