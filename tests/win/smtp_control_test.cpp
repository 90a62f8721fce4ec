// The mail control and its wrapper under Wine, the way the program uses them:
// the control placed by a dialog template, C_SMTP bound to it with
// DDX_Control, nine property writes and Send, against aiosmtpd, the POP3 peer
// and scripted servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "channels/C_SMTP.h"
#include "fw/BackgroundCall.h"
#include "fw/Dialog.h"
#include "fw/Exceptions.h"
#include "PeerClient.h"
#include "smtp_control_test_ids.h"
#include "SmtpPropertyAccess.h"
#include "UiDriver.h"

namespace {

namespace id = smtp::dispid;
using ui_driver::DialogScripts;
using ui_driver::MessageBoxes;

class MailDialog : public CDialog {
 public:
  explicit MailDialog(UINT templateId = IDD_SMTPCTL_MAIL) : CDialog(templateId) {}
  C_SMTP m_smtp;
  std::function<void()> onSend;

 protected:
  void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_SMTPCTL_CONTROL, m_smtp); }
  BOOL OnCommand(UINT cmd, UINT code, HWND control) override {
    if (cmd == IDC_SMTPCTL_SEND) {
      onSend();
      return TRUE;
    }
    return CDialog::OnCommand(cmd, code, control);
  }
};

// Opens a fresh dialog, runs `body` inside its modal loop with the bound
// wrapper, then closes it whatever the body did.
void WithControl(const std::function<void(C_SMTP&, HWND)>& body, UINT templateId = IDD_SMTPCTL_MAIL) {
  DialogScripts scripts;
  MailDialog dialog(templateId);
  scripts.Then([&](HWND hwnd) {
    try {
      body(dialog.m_smtp, hwnd);
    } catch (const CDispatchException& e) {
      ADD_FAILURE() << "unexpected dispatch exception: " << e.m_strDescription;
    } catch (const COleException& e) {
      ADD_FAILURE() << "unexpected OLE exception " << std::hex << e.m_sc;
    }
    EndDialog(hwnd, IDOK);
  });
  ASSERT_EQ(IDOK, dialog.DoModal());
}

std::wstring TextOf(C_SMTP& smtp, std::int32_t dispid) {
  smtp::SmtpValue v = GetSmtpProperty(smtp, dispid);
  return std::holds_alternative<std::wstring>(v) ? std::get<std::wstring>(v) : L"<not text>";
}
std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

struct Mail {
  std::string server = "127.0.0.1";
  std::string username, password;
  int authenticationType = 0;
  std::string sendTo = "ann@example.org; bob@example.org";
  std::string mailFrom = "corvane@example.net";
  std::string subject = "IP Address Change";
  std::string text = "New IP Address:  198.51.100.7";
};

// The program's own sequence; only the port (and a short time-out where a
// test waits for one) is set beforehand, as the program never changes them.
void SendAsTheProgramDoes(C_SMTP& smtp, const Mail& m, int port, BOOL raiseError = TRUE) {
  SetSmtpProperty(smtp, id::kPort, static_cast<std::int32_t>(port));
  smtp.SetServer(m.server);
  smtp.SetUsername(m.username);
  smtp.SetPassword(m.password);
  smtp.SetAuthenticationType(m.authenticationType);
  smtp.SetSendTo(m.sendTo);
  smtp.SetMailFrom(m.mailFrom);
  smtp.SetMessageSubject(m.subject);
  smtp.SetMessageText(m.text);
  smtp.SetRaiseError(raiseError);
  smtp.Send();
}

// The description of the dispatch exception Send throws, or "" when it returned.
std::string SendFailure(C_SMTP& smtp, const Mail& m, int port, std::string* source = nullptr) {
  try {
    SendAsTheProgramDoes(smtp, m, port);
  } catch (const CDispatchException& e) {
    if (source) *source = e.m_strSource;
    return e.m_strDescription;
  }
  return "";
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct Expected {
  const char* name;
  smtp::SmtpValue value;
};

TEST(SmtpControl, FreshInstancesStartFromTheStoredValues) {
  const std::vector<Expected> expected = {
      {"authenticationtype", 0},
      {"bcc", L""},
      {"cc", L""},
      {"charset", L"us-ascii"},
      {"clienthostname", L""},
      {"contenttransferencoding", L"7bit"},
      {"contenttype", L"text/plain"},
      {"expiresafter", L""},
      {"importance", 0},
      {"lastsmtpcommand", L""},
      {"mailfrom", L""},
      {"messagehtml", L""},
      {"messagesubject", L""},
      {"messagetext", L""},
      {"notification", 0},
      {"password", L""},
      {"popserver", L""},
      {"port", 25},
      {"raiseerror", false},
      {"replyto", L""},
      {"sendto", L""},
      {"sensitivity", 0},
      {"server", L""},
      {"status", L""},
      {"timeout", 10000},
      {"timestamp", L""},
      {"username", L""},
  };
  auto checkAll = [&](C_SMTP& smtp) {
    for (const Expected& e : expected) {
      const std::int32_t dispid = SmtpPropertyDispid(e.name);
      ASSERT_NE(0, dispid) << e.name;
      EXPECT_EQ(e.value, GetSmtpProperty(smtp, dispid)) << e.name;
    }
  };
  WithControl([&](C_SMTP& smtp, HWND) {
    checkAll(smtp);
    // Change what the program writes, and more, in this opening...
    smtp.SetServer("mail.example.net");
    smtp.SetAuthenticationType(3);
    smtp.SetRaiseError(TRUE);
    SetSmtpProperty(smtp, id::kCharset, std::wstring(L"utf-8"));
    SetSmtpProperty(smtp, id::kTimeout, 5);
    EXPECT_EQ(smtp::SmtpValue(std::wstring(L"mail.example.net")), GetSmtpProperty(smtp, id::kServer));
    EXPECT_EQ(smtp::SmtpValue(true), GetSmtpProperty(smtp, id::kRaiseError));
  });
  // ...the next opening starts from the stored values again.
  WithControl([&](C_SMTP& smtp, HWND) { checkAll(smtp); });
}

// The extents are the values each template is known to store, whatever
// font the system finds for the dialog.
TEST(SmtpControl, ExtentsFollowTheTemplateSizeNotTheFont) {
  struct Case {
    UINT templateId;
    std::int32_t x, y;
  };
  for (const Case& c :
       {Case{IDD_SMTPCTL_MAIL, 767, 979}, Case{IDD_SMTPCTL_SMALL, 238, 265}, Case{IDD_SMTPCTL_BIGFONT, 767, 979}}) {
    SCOPED_TRACE(c.templateId);
    WithControl(
        [&](C_SMTP& smtp, HWND) {
          EXPECT_EQ(smtp::SmtpValue(c.x), GetSmtpProperty(smtp, id::kExtentX));
          EXPECT_EQ(smtp::SmtpValue(c.y), GetSmtpProperty(smtp, id::kExtentY));
        },
        c.templateId);
  }
  // A control made in code with the main window's pixel size.
  CWnd parent;
  parent.Attach(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr));
  C_SMTP smtp;
  ASSERT_TRUE(smtp.Create("", WS_CHILD, RECT{3, 4, 12, 14}, &parent, IDC_SMTPCTL_CONTROL));
  EXPECT_EQ(IDC_SMTPCTL_CONTROL, GetDlgCtrlID(smtp.GetSafeHwnd()));
  EXPECT_EQ(smtp::SmtpValue(238), GetSmtpProperty(smtp, id::kExtentX));
  EXPECT_EQ(smtp::SmtpValue(265), GetSmtpProperty(smtp, id::kExtentY));
  smtp.Detach();
  DestroyWindow(parent.Detach());  // takes the child with it
}

TEST(SmtpControl, CallsTheControlCannotServeAreOleErrors) {
  WithControl([](C_SMTP& smtp, HWND) {
    auto codeOf = [](const std::function<void()>& call) -> HRESULT {
      try {
        call();
      } catch (const COleException& e) {
        return e.m_sc;
      }
      return S_OK;
    };
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, codeOf([&] { SetSmtpProperty(smtp, 0x68039999, 1); }));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, codeOf([&] { GetSmtpProperty(smtp, id::kSend); }));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, codeOf([&] { SetSmtpProperty(smtp, id::kPort, std::wstring(L"25")); }));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, codeOf([&] { SetSmtpProperty(smtp, id::kServer, 1); }));
    EXPECT_EQ(smtp::SmtpValue(25), GetSmtpProperty(smtp, id::kPort)) << "a refused write must not change the value";
  });
}

TEST(SmtpControl, DeliversWithEachAuthenticationType) {
  auto peers = peers::PeerClient::FromEnvironment();
  struct Case {
    int type;
    const char* peer;
    const char* mech;
  };
  for (const Case& c : {Case{0, "", ""}, Case{2, "auth=login&user=mailer&password=s3cret&require_auth=1", "LOGIN"},
                        Case{3, "auth=plain&user=mailer&password=s3cret&require_auth=1", "PLAIN"}}) {
    SCOPED_TRACE(c.type);
    const int port = peers.StartSmtp(c.peer);
    Mail m;
    m.authenticationType = c.type;
    if (c.type) {
      m.username = "mailer";
      m.password = "s3cret";
    }
    WithControl([&](C_SMTP& smtp, HWND) {
      SendAsTheProgramDoes(smtp, m, port);
      EXPECT_EQ(L"", TextOf(smtp, id::kStatus));
      EXPECT_EQ(L"QUIT", TextOf(smtp, id::kLastSmtpCommand));
      EXPECT_EQ(19u, TextOf(smtp, id::kTimestamp).size()) << Narrow(TextOf(smtp, id::kTimestamp));
    });
    auto mails = peers.Messages(port);
    ASSERT_EQ(1u, mails.size());
    EXPECT_EQ("corvane@example.net", mails[0].from);
    EXPECT_EQ((std::vector<std::string>{"ann@example.org", "bob@example.org"}), mails[0].to);
    EXPECT_EQ(c.mech, mails[0].authMech);
    EXPECT_EQ(c.type ? "mailer" : "", mails[0].authUser);
    EXPECT_EQ(c.type ? "s3cret" : "", mails[0].authPassword);
    EXPECT_TRUE(Contains(mails[0].content, "\r\nSubject: IP Address Change\r\n")) << mails[0].content;
    EXPECT_TRUE(Contains(mails[0].content, "Content-Type: text/plain; charset=us-ascii\r\n")) << mails[0].content;
    EXPECT_TRUE(Contains(mails[0].content, "\r\n\r\nNew IP Address:  198.51.100.7")) << mails[0].content;
    peers.Stop(port);
  }
}

TEST(SmtpControl, WrongPasswordFailsSendOrLeavesTheStatus) {
  auto peers = peers::PeerClient::FromEnvironment();
  const int port = peers.StartSmtp("auth=login&user=mailer&password=s3cret&require_auth=1");
  Mail m;
  m.authenticationType = 2;
  m.username = "mailer";
  m.password = "wrong";
  WithControl([&](C_SMTP& smtp, HWND) {
    std::string source;
    const std::string description = SendFailure(smtp, m, port, &source);
    EXPECT_TRUE(Contains(description, "authentication")) << description;
    EXPECT_TRUE(Contains(description, "535")) << description;
    EXPECT_EQ("CorvaneSmtp", source);
    EXPECT_EQ(description, Narrow(TextOf(smtp, id::kStatus)));

    // The same failure with raiseerror off returns, and only the status tells.
    SetSmtpProperty(smtp, id::kStatus, std::wstring());
    SendAsTheProgramDoes(smtp, m, port, FALSE);
    EXPECT_EQ(description, Narrow(TextOf(smtp, id::kStatus)));

    // A later good send clears the status again.
    m.password = "s3cret";
    SendAsTheProgramDoes(smtp, m, port);
    EXPECT_EQ(L"", TextOf(smtp, id::kStatus));
  });
  EXPECT_EQ(1u, peers.Messages(port).size());
}

TEST(SmtpControl, RefusedRecipientAndSilentServerFailSend) {
  auto peers = peers::PeerClient::FromEnvironment();
  const int refusing = peers.StartSmtp("fail=rcpt:550:" + peers::PeerClient::Encode("No such user here"));
  const int silent = peers.StartRaw("hold");
  WithControl([&](C_SMTP& smtp, HWND) {
    const std::string refused = SendFailure(smtp, Mail{}, refusing);
    EXPECT_TRUE(Contains(refused, "recipient")) << refused;
    EXPECT_TRUE(Contains(refused, "550 No such user here")) << refused;
    EXPECT_EQ(L"RCPT TO:<ann@example.org>", TextOf(smtp, id::kLastSmtpCommand));

    SetSmtpProperty(smtp, id::kTimeout, 700);
    const auto start = std::chrono::steady_clock::now();
    const std::string silence = SendFailure(smtp, Mail{}, silent);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(Contains(silence, "timed out")) << silence;
    EXPECT_LT(took, std::chrono::milliseconds(1700));
    EXPECT_GE(took, std::chrono::milliseconds(600)) << "the time-out is in milliseconds";
    EXPECT_EQ(L"", TextOf(smtp, id::kLastSmtpCommand)) << "nothing was sent to a server that never greeted";
  });
  EXPECT_TRUE(peers.Messages(refusing).empty());
}

// The background Send: a snapshot of the properties at the start, the same
// texts as Send, and the control's own properties left alone.
TEST(C_SMTP, AMailSentInTheBackgroundTakesThePropertiesAsTheyWereAndEndsWithSendsText) {
  auto peers = peers::PeerClient::FromEnvironment();
  const int good = peers.StartSmtp();
  const int refusing = peers.StartSmtp("fail=rcpt:550:" + peers::PeerClient::Encode("No such user here"));
  constexpr UINT kSent = WM_APP + 3;
  HWND receiver = ui_driver::MessageOnlyWindow();
  const auto outcomeOf = [&](C_SMTP& smtp, int port, BOOL raiseError) {
    SetSmtpProperty(smtp, id::kPort, static_cast<std::int32_t>(port));
    smtp.SetRaiseError(raiseError);
    EXPECT_TRUE(smtp.StartSend(receiver, kSent, 9));
    smtp.SetMessageSubject("Changed after the start");
    MSG msg{};
    EXPECT_TRUE(ui_driver::NextPost(receiver, kSent, msg));
    EXPECT_EQ(9u, msg.wParam);
    auto outcome = C_SMTP::TakeSendOutcome(receiver, msg.lParam);
    EXPECT_TRUE(outcome.has_value());
    return outcome.value_or(C_SMTP::MailOutcome{"<no outcome>", {}});
  };
  WithControl([&](C_SMTP& smtp, HWND) {
    const std::string refused = SendFailure(smtp, Mail{}, refusing);
    SetSmtpProperty(smtp, id::kStatus, std::wstring(L"as before"));
    Mail m;
    SendAsTheProgramDoes(smtp, m, good);  // sets the program's properties
    SetSmtpProperty(smtp, id::kStatus, std::wstring(L"as before"));
    smtp.SetMessageSubject(m.subject);

    const C_SMTP::MailOutcome sent = outcomeOf(smtp, good, TRUE);
    EXPECT_TRUE(sent.ok()) << sent.error;
    EXPECT_EQ("QUIT", sent.lastCommand);
    smtp.SetMessageSubject(m.subject);
    const C_SMTP::MailOutcome failed = outcomeOf(smtp, refusing, TRUE);
    EXPECT_EQ(refused, failed.error) << "the text Send throws";
    smtp.SetMessageSubject(m.subject);
    EXPECT_TRUE(outcomeOf(smtp, refusing, FALSE).ok()) << "with raiseerror off only the status would tell";
    smtp.SetServer("127.0.0.1:0");
    const std::string badPort = outcomeOf(smtp, good, TRUE).error;
    EXPECT_TRUE(Contains(badPort, "invalid port 0")) << "refused before any connection: " << badPort;
    EXPECT_EQ(L"as before", TextOf(smtp, id::kStatus));
  });
  const auto mails = peers.Messages(good);
  ASSERT_EQ(2u, mails.size());
  EXPECT_TRUE(Contains(mails[1].content, "\r\nSubject: IP Address Change\r\n")) << mails[1].content;
  EXPECT_TRUE(ui_driver::PumpUntil([] { return fw::RunningBackgroundCalls() == 0; }, 5000));
  EXPECT_EQ(0, fw::WaitingBackgroundResults());
  DestroyWindow(receiver);
}

TEST(SmtpControl, Pop3BeforeSmtp) {
  auto peers = peers::PeerClient::FromEnvironment();
  const int pop = peers.StartPop3("mailer", "s3cret");
  const int smtpPort = peers.StartSmtp();
  Mail m;
  m.authenticationType = 1;
  m.username = "mailer";
  m.password = "s3cret";
  WithControl([&](C_SMTP& smtp, HWND) {
    SetSmtpProperty(smtp, id::kPopServer, std::wstring(L"127.0.0.1:") + std::to_wstring(pop));
    SendAsTheProgramDoes(smtp, m, smtpPort);
    EXPECT_EQ(L"", TextOf(smtp, id::kStatus));
    // An address in brackets keeps its port, as the SMTP server field does.
    SetSmtpProperty(smtp, id::kPopServer, std::wstring(L"[127.0.0.1]:") + std::to_wstring(pop));
    SendAsTheProgramDoes(smtp, m, smtpPort);
    EXPECT_EQ(L"", TextOf(smtp, id::kStatus));

    m.password = "wrong";
    const std::string refused = SendFailure(smtp, m, smtpPort);
    EXPECT_TRUE(Contains(refused, "POP3")) << refused;
    EXPECT_EQ(L"PASS", TextOf(smtp, id::kLastSmtpCommand)) << "the refused command, not the QUIT after it";
  });
  EXPECT_EQ((std::vector<std::string>{"CAPA", "USER mailer", "PASS s3cret", "QUIT", "CAPA", "USER mailer",
                                      "PASS s3cret", "QUIT", "CAPA", "USER mailer", "PASS wrong", "QUIT"}),
            peers.Pop3Log(pop));
  auto mails = peers.Messages(smtpPort);
  ASSERT_EQ(2u, mails.size()) << "a refused POP3 login must not be followed by SMTP";
  EXPECT_EQ("", mails[0].authMech);

  // As the program leaves it: no popserver, so the SMTP server on the POP3 port.
  const bool haveDefaultPort = [&] {
    try {
      return peers.Get("/pop3/start?port=110&user=mailer&password=s3cret") == "110";
    } catch (const std::exception&) {
      return false;
    }
  }();
  // The port is the protocol's own, so it cannot be swapped for a free one;
  // run the tests in a network namespace of their own when it is taken.
  ASSERT_TRUE(haveDefaultPort) << "port 110 is taken here, so the default POP3 port cannot be tested";
  m.password = "s3cret";
  WithControl([&](C_SMTP& smtp, HWND) { SendAsTheProgramDoes(smtp, m, smtpPort); });
  EXPECT_EQ(3u, peers.Messages(smtpPort).size());
  EXPECT_EQ(4u, peers.Pop3Log(110).size());
  peers.Stop(110);
}

TEST(SmtpControl, LineBreaksInFieldsSendNothing) {
  auto peers = peers::PeerClient::FromEnvironment();
  const int port = peers.StartRaw("send:220 ready%0D%0A|line|close");
  WithControl([&](C_SMTP& smtp, HWND) {
    Mail subject;
    subject.subject = "IP Address Change\r\nBcc: victim@example.org";
    const std::string s = SendFailure(smtp, subject, port);
    EXPECT_TRUE(Contains(s, "subject")) << s;

    Mail to;
    to.sendTo = "ann@example.org>\r\nRCPT TO:<victim@example.org";
    EXPECT_NE("", SendFailure(smtp, to, port));
  });
  EXPECT_TRUE(peers.RawLog(port).empty()) << "nothing may reach the server";
}

// The program does not catch: a failed Send in a handler reaches the
// framework's catch, which shows the control's description.
TEST(SmtpControl, FailedSendInAHandlerShowsTheDescription) {
  auto peers = peers::PeerClient::FromEnvironment();
  const int port = peers.StartSmtp("fail=mail:553:" + peers::PeerClient::Encode("Sender not allowed"));
  MessageBoxes boxes;
  DialogScripts scripts;
  MailDialog dialog;
  bool reachedSuccess = false;
  dialog.onSend = [&] {
    SendAsTheProgramDoes(dialog.m_smtp, Mail{}, port);
    reachedSuccess = true;
  };
  scripts.Then([&](HWND hwnd) {
    ui_driver::Click(hwnd, IDC_SMTPCTL_SEND);
    EndDialog(hwnd, IDOK);
  });
  dialog.DoModal();
  EXPECT_FALSE(reachedSuccess);
  ASSERT_EQ(1u, boxes.records.size());
  EXPECT_TRUE(Contains(boxes.records[0].text, "553 Sender not allowed")) << boxes.records[0].text;
  EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), boxes.records[0].type & MB_ICONMASK);
}

TEST(SmtpControl, DialogEndsWithMinusOneWhenTheClassIsMissing) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  ASSERT_TRUE(UnregisterClassA(smtp::kSmtpControlClass, instance));
  MailDialog dialog;
  EXPECT_EQ(-1, dialog.DoModal());
  EXPECT_TRUE(smtp::RegisterSmtpControl(instance));
  EXPECT_TRUE(smtp::RegisterSmtpControl(instance)) << "registering twice is harmless";
  WithControl([](C_SMTP& smtp, HWND) { EXPECT_EQ(smtp::SmtpValue(25), GetSmtpProperty(smtp, id::kPort)); });
}

TEST(C_SMTP, WithoutAControlEveryOperationDoesNothing) {
  C_SMTP smtp;
  Mail m;
  EXPECT_NO_THROW(SendAsTheProgramDoes(smtp, m, 1));
  EXPECT_EQ(smtp::SmtpValue(), GetSmtpProperty(smtp, id::kPort));
  EXPECT_FALSE(smtp.StartSend(nullptr, WM_APP, 0)) << "nothing will come";

  // Bound to some other kind of window, a call is an error, not a silent success.
  HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  smtp.Attach(other);
  try {
    smtp.Send();
    ADD_FAILURE() << "a window that is not the mail control accepted Send";
  } catch (const COleException& e) {
    EXPECT_TRUE(FAILED(e.m_sc));
  }
  EXPECT_THROW(smtp.StartSend(other, WM_APP, 0), COleException) << "nor a background Send";
  DestroyWindow(smtp.Detach());
}

}  // namespace

// The program registers the control once at start-up; so does this test.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!smtp::RegisterSmtpControl(GetModuleHandleA(nullptr))) return 2;
  return RUN_ALL_TESTS();
}

namespace {

// Another thread stands in for another program: its calls, sent or posted,
// are ignored, and a posted pointer that leads nowhere is never followed.
TEST(SmtpControl, CallsFromOutsideItsOwnThreadAreIgnored) {
  WithControl([&](C_SMTP& smtp, HWND) {
    const HWND control = smtp.GetSafeHwnd();
    smtp.SetServer("mail.example.net");
    std::atomic<bool> done{false};
    DWORD_PTR answer = S_OK;
    bool delivered = false;
    bool handled = true;
    // The send is bounded too: joining a thread that still waits on a send
    // to this thread, which no longer pumps, would hang the test instead of
    // failing it.
    std::thread other([&] {
      smtp::SmtpCall call;
      call.dispid = id::kServer;
      call.kind = smtp::SmtpCallKind::PropertyPut;
      call.argument = std::wstring(L"evil.example");
      delivered = SendMessageTimeoutA(control, WM_SMTP_INVOKE, 0, reinterpret_cast<LPARAM>(&call), SMTO_NORMAL, 10000,
                                      &answer) != 0;
      handled = call.handled;
      done = true;
    });
    EXPECT_TRUE(ui_driver::PumpUntil([&] { return done.load(); }, 15000));
    other.join();
    ASSERT_TRUE(delivered) << "the control never answered the other thread";
    EXPECT_EQ(E_UNEXPECTED, static_cast<HRESULT>(answer));
    EXPECT_FALSE(handled);
    PostMessageA(control, WM_SMTP_INVOKE, 0, 0x10);
    ui_driver::Pump(100);
    EXPECT_EQ(smtp::SmtpValue(std::wstring(L"mail.example.net")), GetSmtpProperty(smtp, id::kServer));
  });
}

}  // namespace
