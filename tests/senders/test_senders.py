"""End to end: the plug-in (through the host stand-in) hands faxes to the real PF_SMTP.exe and PF_SQB.exe, which
deliver them to a real SMTP server (aiosmtpd) and to PC receivers (quillbox-notice), all on loopback. Each test has
its own installation folder, IPC prefix and ports. WBFAX_BIN names the folder of the built programs."""
import base64, collections, email, email.policy, fcntl, glob, hashlib, hmac, logging, mailbox, os, random, re
import shutil, signal, socket, ssl, subprocess, sys, tempfile, threading, time, unittest, warnings
from aiosmtpd.controller import Controller
from aiosmtpd.handlers import Mailbox
from aiosmtpd.smtp import AuthResult, LoginPassword

BIN = os.environ["WBFAX_BIN"]
LOOPBACK = "127.0.0.1"
ADMIN = "fax-admin@example.org"
UNMARKED = re.compile(rb"(^|\n)JOB_ID=")
logging.getLogger("mail.log").setLevel(logging.CRITICAL)


def free_port():
    with socket.socket() as s:
        s.bind((LOOPBACK, 0))
        return s.getsockname()[1]


def smtp(port, extra=""):
    return "USESMTP=1\r\nSMTPServer=%s\r\nSMTPPortNo=%d\r\n%s" % (LOOPBACK, port, extra)


class MailServer(Mailbox):
    """aiosmtpd storing mail in a Maildir; with accounts it insists on AUTH (plain text: loopback only). answers
    script replies: answers["MAIL"], answers["DATA"] (end of DATA) and answers[address] (its RCPT) are used one per
    attempt, then the step goes as usual; seen counts each step's attempts."""

    def __init__(self, folder, port=None, accounts=None, answers=None, tls_context=None):
        self.maildir = os.path.join(folder, "maildir-%d" % random.randrange(1 << 30))
        super().__init__(self.maildir)
        self.answers = {key: list(replies) for key, replies in (answers or {}).items()}
        self.seen, self.logins, self.port, options = collections.Counter(), [], port or free_port(), {}
        if accounts is not None:
            warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")

            def authenticate(server, session, envelope, mechanism, data):
                ok = isinstance(data, LoginPassword) and accounts.get(data.login.decode()) == data.password.decode()
                self.logins.append((mechanism, data.login.decode(), ok))
                return AuthResult(success=ok, handled=False)  # a refusal gets the standard 535
            options = dict(authenticator=authenticate, auth_required=True, auth_require_tls=False)
        if tls_context:
            options.update(tls_context=tls_context, require_starttls=True)
        self.controller = Controller(self, hostname=LOOPBACK, port=self.port, **options)
        self.controller.start()

    def take(self, key):
        self.seen[key] += 1
        script = self.answers.get(key)
        return script.pop(0) if script else None

    async def handle_MAIL(self, server, session, envelope, address, options):
        reply = self.take("MAIL")
        if not reply:
            envelope.mail_from = address
            envelope.mail_options.extend(options)
        return reply or "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, options):
        reply = self.take(address)
        if not reply:
            envelope.rcpt_tos.append(address)
            envelope.rcpt_options.extend(options)
        return reply or "250 OK"

    async def handle_DATA(self, server, session, envelope):
        return self.take("DATA") or await super().handle_DATA(server, session, envelope)

    def raw_messages(self):
        box = mailbox.Maildir(self.maildir, create=False)
        return [box.get_bytes(key) for key in sorted(box.keys())]

    def messages(self):
        return [email.message_from_bytes(raw, policy=email.policy.default) for raw in self.raw_messages()]

    def stop(self): self.controller.stop()


class Receiver:
    """quillbox-notice on a loopback port."""

    def __init__(self, folder, key, *options, port=0):
        self.output = os.path.join(folder, "receiver-%d.out" % random.randrange(1 << 30))
        with open(self.output, "wb") as out:
            self.process = subprocess.Popen([os.path.join(BIN, "quillbox-notice"), "--listen", LOOPBACK, "--port", str(port),
                                             "--key", key, *options], stdout=out, stderr=subprocess.DEVNULL)
        first = wait_for(lambda: self.text().partition("\n")[1] and self.text().partition("\n")[0], what="the receiver")
        self.port = int(first.rsplit(":", 1)[1])
        self.address = "%s:%d" % (LOOPBACK, self.port)

    def text(self): return read_or(self.output, b"").decode("utf-8")

    def notices(self):
        return [block for block in re.split(r"(?m)^(?=notice )", self.text()) if block.startswith("notice ")]

    def stop(self): self.process.terminate(), self.process.wait()


def process_alive(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def wait_for(predicate, timeout=30, what="a condition", details=lambda: ""):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("timed out waiting for %s\n%s" % (what, details()))


def write(path, data, mode="wb"):
    with open(path, mode) as f:
        f.write(data)


def read_or(path, default):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return default


class Installation(unittest.TestCase):
    """A scratch installation: wbcatch.ini, box 1 with one sub-address rule, the program folder holding the two
    sender programs, and the environment the plug-in and the senders see."""

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="wbfax-senders-")
        self.prefix = "wbs%d-%d-" % (os.getpid(), random.randrange(1 << 30))
        self.data = os.path.join(self.root, "Corvane", "Quillbox")
        self.box, self.program = os.path.join(self.root, "faxes", "box001"), os.path.join(self.root, "program")
        for folder in (self.data, self.box, self.program, os.path.join(self.root, "incoming")):
            os.makedirs(folder)
        for name in ("PF_SMTP.exe", "PF_SQB.exe"):
            shutil.copy2(os.path.join(BIN, name), self.program)
        write(os.path.join(self.data, "qvscan_f.bin"), b"1;%s;Main office\r\n" % self.box.encode())
        self.key = os.path.join(self.data, "notice.key")  # where PF_SQB looks for it
        write(self.key, os.urandom(32))
        # The senders run detached, without streams: sanitizer reports go to files.
        logs = {name: ":".join(filter(None, [os.environ.get(name), "log_path=" + os.path.join(self.root, "sanitizer")]))
                for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS")}
        self.env = dict(os.environ, WBFAX_COMMON_APPDATA=self.root, WBFAX_IPC_PREFIX=self.prefix,
                        WBFAX_TRACE=os.path.join(self.root, "trace.log"), WBFAX_SMB_CONF=os.path.join(self.root, "no-smb.conf"),
                        WBFAX_SENDER_IDLE_MS="1000", WBFAX_SENDER_RETRY_MS="300", WBFAX_SENDER_RETRY_MAX_MS="600",
                        WBFAX_SMTP_TIMEOUT_MS="10000", WBFAX_NOTICE_TIMEOUT_MS="5000", **logs)
        self.started, self.cleanups, self.faxes = [], [], 0

    def tearDown(self):
        for cleanup in reversed(self.cleanups):
            cleanup()
        for process in self.started:
            process.kill(), process.wait()
        for kind in ("smtp", "sqb"):
            pid = self.running_sender(kind)
            if pid:
                os.kill(pid, signal.SIGKILL)
            # A sender gives up its lock before it ends; its sanitizer report comes after that.
            pid = pid or self.last_sender(kind)
            if pid:
                wait_for(lambda: not process_alive(pid), what="sender %d to end" % pid)
        for leftover in glob.glob("/dev/shm/" + self.prefix + "*"):
            os.remove(leftover)
        shutil.rmtree(os.path.join(os.environ.get("XDG_RUNTIME_DIR", "/tmp"), "wbfax-windows-" + self.prefix), ignore_errors=True)
        report = "".join(open(path, errors="replace").read() for path in glob.glob(os.path.join(self.root, "sanitizer*")))
        shutil.rmtree(self.root, ignore_errors=True)
        self.assertEqual(report, "", "a sender program failed under the sanitizers")

    def fresh(self):
        """The next case in a fresh installation, with senders that read the new settings."""
        self.tearDown()
        self.setUp()

    def configure(self, rcvfax, mail_list="", pc_list="", program=None):
        write(os.path.join(self.data, "wbcatch.ini"),
              b"[PATH]\r\nCONF=%s\r\n[RCVFAX]\r\n%s" % ((program or self.program).encode(), rcvfax.encode()))
        write(os.path.join(self.data, "WbFaxRcv001.rfd"), b"[FCODE]\r\nF001=Sales;1234;%s;%s;\r\n[OTHER]\r\nOtherFile=Rx;;;\r\n"
              b"TXFile=Tx;;;\r\n" % (mail_list.encode(), pc_list.encode()))

    def receive(self, content=b"II*\x00 a fax", name=b"fax1.tif", language=0, remote_name=b"", account=None, password=None):
        """The host hands one fax to the plug-in; returns the stored path."""
        self.faxes += 1
        folder = os.path.join(self.root, "incoming", str(self.faxes)).encode()
        os.makedirs(folder)
        path = os.path.join(folder, name)
        write(path, content)
        command = [os.path.join(BIN, "quillbox-host").encode(), b"receive", b"--box", b"1", b"--file", path, b"--sub-address",
                   b"1234", b"--remote-number", b"03 1234 5678", b"--admin-mail", ADMIN.encode(), b"--language",
                   str(language).encode(), b"--remote-name", remote_name]
        if account is not None:
            command += [b"--smtp-account", account.encode(), b"--smtp-password", password.encode()]
        result = subprocess.run(command, env=self.env, capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        stored = re.search(rb"^stored path: (.*)$", result.stdout, re.M)
        self.assertTrue(stored, result.stdout)
        return stored.group(1)

    def wait(self, predicate, what, timeout=30): return wait_for(predicate, timeout, what, self.trace)

    def trace(self): return read_or(self.env["WBFAX_TRACE"], b"(no trace)").decode("utf-8", "replace")

    def job_list(self, kind): return read_or(os.path.join(self.data, "pf%s_job.pfs" % kind), b"")

    def wait_marked(self, kind, what="the job to be marked"):
        self.wait(lambda: self.job_list(kind).startswith(b"*OB_ID=0001"), what)

    def job_files(self): return sorted(name for name in os.listdir(self.data) if re.match(r"\d{8}_\d+\.", name))

    def age_job(self):
        """Two days later, as far as the one job knows; returns its file name."""
        [job] = [name for name in self.job_files() if name.endswith(".tmp")]
        old = time.time() - 2 * 86400
        os.utime(os.path.join(self.data, job), (old, old))
        return job

    def log_lines(self, name="sqb_NTFY.log"):
        return [line.split(b",") for line in read_or(os.path.join(self.data, name), b"").split(b"\r\n") if line]

    def error_log(self):
        """The rows the plug-in's error log window shows, read back with its own parser."""
        result = subprocess.run([os.path.join(BIN, "quillbox-error-log")], env=self.env, capture_output=True, timeout=30)
        self.assertEqual(result.returncode, 0, result.stderr)
        return [line.split(b"\t") for line in result.stdout.splitlines()]

    def running_sender(self, kind):
        """The process id of the sender that holds the job list, 0 when none does."""
        try:
            fd = os.open(os.path.join(self.data, "pf%s.lck" % kind), os.O_RDWR)
        except FileNotFoundError:
            return 0
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            fcntl.flock(fd, fcntl.LOCK_UN)
            return 0
        except BlockingIOError:
            return int(os.read(fd, 32).decode().strip() or 0)
        finally:
            os.close(fd)

    def last_sender(self, kind):
        """The process id the lock file names, whether or not that process still runs."""
        try:
            return int(read_or(os.path.join(self.data, "pf%s.lck" % kind), b"").strip() or 0)
        except ValueError:
            return 0

    def start_sender(self, kind):
        """Starts a sender by hand, as after a crash or a reboot."""
        program = os.path.join(self.program, "PF_SMTP.exe" if kind == "smtp" else "PF_SQB.exe")
        self.started.append(subprocess.Popen([program], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                             stderr=subprocess.DEVNULL))

    def kill_sender(self, kind):
        pid = self.running_sender(kind)
        self.assertTrue(pid)
        os.kill(pid, signal.SIGKILL)
        wait_for(lambda: not self.running_sender(kind), what="the sender to die")

    def wait_until_left(self, kind): self.wait(lambda: not self.running_sender(kind), "the sender to leave on its own")

    def mail_server(self, **options):
        server = MailServer(self.root, **options)
        self.cleanups.append(server.stop)
        return server

    def receiver(self, *options, port=0):
        receiver = Receiver(self.root, self.key, *options, port=port)
        self.cleanups.append(receiver.stop)
        return receiver


def signed_notice(key, fields, when):
    """The lines a version 2 notifier sends, made here with Python's own HMAC."""
    lines = [b"NOTICE 2"] + [b"%s: %s" % field for field in fields] + [b"Time: %d" % when, b"Nonce: " + os.urandom(16).hex().encode()]
    return lines + [b"MAC: " + hmac.new(key, b"".join(line + b"\r\n" for line in lines), hashlib.sha256).hexdigest().encode()]


def exchange(port, lines):
    """Sends one notice as a notifier would; the receiver's greeting and answer."""
    with socket.create_connection((LOOPBACK, port), timeout=10) as s:
        answers = s.makefile("rb")
        greeting = answers.readline().strip()
        s.sendall(b"".join(line + b"\r\n" for line in lines) + b"\r\n")
        return greeting, answers.readline().strip()


def listening():
    listener = socket.socket()
    listener.bind((LOOPBACK, 0))
    listener.listen(4)
    return listener, listener.getsockname()[1]


def serve_in_background(function):
    (thread := threading.Thread(target=function, daemon=True)).start()
    return thread


def plain_lines(message): return message.get_body(preferencelist=("plain",)).get_content().splitlines()
def after(lines, heading): return lines[lines.index(heading) + 1]


class MailTests(Installation):

    def test_a_fax_reaches_every_mailbox_with_its_attachment_in_the_mail_language(self):
        server = self.mail_server()
        self.configure(smtp(server.port, "ADDFFILE=1\r\n"), mail_list="sales@example.org,boss@example.org")
        cases = [  # language, file name, content, raw subject, subject, charset, first line, file name heading, type
            (0, b"fax1.tif", b"II*\x00" + bytes(range(256)) * 40, b"FAX Receipt Notification(fax1.tif)",
             "FAX Receipt Notification(fax1.tif)", "us-ascii", "FAX has received the following document.", "[File name]",
             "image/tiff"),
            # Code page 932's fullwidth tilde, which ISO-2022-JP knows only as the wave dash.
            (4, "見積～1.pdf".encode("cp932"), b"%PDF-1.4 fax", b"=?ISO-2022-JP?B?", "ファクス受信通知(見積〜1.pdf)",
             "iso-2022-jp", "ファクスから以下のファイルを受信しました。", "[ファイル名]", "application/pdf"),
        ]
        for n, (language, name, fax, raw, subject, charset, first, heading, content_type) in enumerate(cases):
            with self.subTest(language=language):
                stored = self.receive(content=fax, name=name, language=language)
                mail = self.wait(lambda: server.messages()[n:], "the mail")[0]
                self.assertIn(b"\nSubject: " + raw, server.raw_messages()[n])
                self.assertEqual((mail["From"], mail["X-RcptTo"], mail["Subject"]),  # X-RcptTo: the envelope
                                 (ADMIN, "sales@example.org, boss@example.org", subject))
                self.assertEqual([a.addr_spec for a in mail["To"].addresses], ["sales@example.org", "boss@example.org"])
                self.assertEqual(mail.get_body(preferencelist=("plain",)).get_content_charset(), charset)
                lines = plain_lines(mail)
                self.assertEqual((lines[0], after(lines, heading)), (first, "\t" + name.decode("cp932").replace("～", "〜")))
                if language == 0:
                    self.assertEqual((after(lines, "[Sender FAX number]"), after(lines, "[Destination Folder]")),
                                     ("\t03 1234 5678", "\t" + os.path.dirname(stored).decode() + "/"))
                [attachment] = mail.iter_attachments()
                self.assertEqual((attachment.get_filename(), attachment.get_content_type(), attachment.get_payload(decode=True)),
                                 (name.decode("cp932"), content_type, fax))
                # Done: the entry is marked, the job's files are gone, and the sender leaves by itself.
                self.wait(lambda: re.search(rb"(^|\n)\*OB_ID=\d{4}\r\n\*NFO_FNAME=", self.job_list("smtp")) and
                          not UNMARKED.search(self.job_list("smtp")), "the entry to be marked")
                wait_for(lambda: not self.job_files(), what="the job files to go", details=lambda: str(self.job_files()))
                self.wait_until_left("smtp")

    def test_authentication_and_a_refused_login_that_is_tried_again(self):
        # The host stand-in fills the account field to its full 65 bytes before the password; an account of that
        # length keeps the password where the description parser reads it.
        account = "fax.notifier.of.the.quillbox.server.in.the.main.office@example.jp"
        self.assertEqual(len(account), 65)
        server = self.mail_server(accounts={account: "s3cret"})
        self.configure(smtp(server.port), mail_list="boss@example.org")
        self.receive(account=account, password="s3cret")
        [mail] = self.wait(server.messages, "the authenticated mail")
        self.assertEqual(mail["X-RcptTo"], "boss@example.org")
        self.assertEqual(list(mail.iter_attachments()), [])  # attaching is off
        self.assertTrue(server.logins and all(ok for _, _, ok in server.logins), server.logins)
        self.receive(account=account, password="wrong")
        # Refused again and again, with pauses, while the job waits unmarked with its files.
        self.wait(lambda: sum(not ok for _, _, ok in server.logins) >= 3, "repeated attempts")
        self.assertEqual(len(server.messages()), 1)
        self.assertIn(b"\r\nJOB_ID=0002\r\n", self.job_list("smtp"))
        self.assertTrue(any(name.endswith("_2.tmp") for name in self.job_files()), self.job_files())
        self.assertTrue(self.running_sender("smtp"), "a sender with a waiting job stays")

    def test_a_mail_that_never_gets_through_is_given_up_when_the_retention_period_is_over(self):
        self.configure(smtp(free_port(), "NotifyDays=1\r\n"), mail_list="boss@example.org")
        self.receive()
        self.wait(lambda: "failed 1 time(s)" in self.trace(), "a first failed attempt")
        self.assertNotIn("given up", self.trace())
        job = self.age_job()
        self.wait_marked("smtp", "the job to be given up")
        self.assertIn("not sent within 1 day(s)", self.trace())
        self.assertIn(job, self.job_files())  # left for whoever looks into it

    def test_a_sender_killed_in_a_job_sends_it_once_started_again_and_never_a_marked_one(self):
        # A server that takes the connection and says nothing keeps the sender inside a job; the plug-in finds no
        # sender program here, so the jobs stay listed for a start by hand.
        stall, port = listening()
        stall.settimeout(30)
        self.configure(smtp(port), mail_list="boss@example.org", program=os.path.join(self.root, "nowhere"))
        self.receive(name=b"first.tif")
        self.receive(name=b"second.tif")
        listed = self.job_list("smtp")
        self.assertTrue(listed.startswith(b"JOB_ID=0001\r\nINFO_FNAME="), listed)
        # What a sender does when it has finished a job: the first byte of each of its lines.
        with open(os.path.join(self.data, "pfsmtp_job.pfs"), "r+b") as f:
            f.write(b"*")
            f.seek(listed.index(b"\r\n") + 2)
            f.write(b"*")
        self.start_sender("smtp")
        connection, _ = stall.accept()
        self.kill_sender("smtp")
        connection.close()
        stall.close()
        self.assertIn(b"\nJOB_ID=0002", self.job_list("smtp"))
        server = self.mail_server(port=port)
        self.start_sender("smtp")
        [mail] = self.wait(server.messages, "the mail after the restart")
        self.assertEqual(mail["Subject"], "FAX Receipt Notification(second.tif)")
        self.wait_until_left("smtp")
        # Marked now: another start sends nothing again.
        self.assertIn(b"\n*OB_ID=0002", self.job_list("smtp"))
        self.assertIsNone(UNMARKED.search(self.job_list("smtp")))
        self.start_sender("smtp")
        wait_for(lambda: self.running_sender("smtp"), what="the second start")
        self.wait_until_left("smtp")
        self.assertEqual(len(server.messages()), 1)
        self.assertTrue(any(name.endswith("_1.tmp") for name in self.job_files()), self.job_files())

    def test_each_recipient_gets_the_mail_once_or_is_given_up_with_the_servers_reply(self):
        a, b, c = "a@example.org", "b@example.org", "c@example.org"
        many = lambda reply: [reply] * 9  # noqa: E731 -- refused at every attempt
        cases = [  # answers, who gets it, the mail log (address, reply), attempts counted at that step
            ({c: ["450 4.2.1 Mailbox busy"]}, [a, b, c], [], (c, 2)),
            ({c: many("550 5.1.1 No such user")}, [a, b], [(c, "RCPT 550 5.1.1 No such user")], (c, 1)),
            ({"MAIL": many("553 5.7.1 Sender refused")}, [], [("-", "MAIL 553 5.7.1 Sender refused")], ("MAIL", 1)),
            ({"DATA": many("554 5.6.0 Content refused")}, [], [("-", "end of DATA 554 5.6.0 Content refused")], ("DATA", 1)),
            ({"DATA": ["451 4.3.0 Try later"]}, [a, b, c], [], ("DATA", 2)),
        ]
        for job, (answers, delivered, logged, (step, attempts)) in enumerate(cases, 1):
            with self.subTest(answers=answers):
                server = self.mail_server(answers=answers)
                self.configure(smtp(server.port, "NotifyDays=1\r\n"), mail_list=",".join([a, b, c]))
                before = len(self.log_lines("smtp_NTFY.log"))
                self.receive(name=b"fax%d.tif" % job)
                self.wait(lambda: not UNMARKED.search(self.job_list("smtp")), "job %d to be marked" % job)
                envelopes = [to for mail in server.messages() for to in mail["X-RcptTo"].split(", ")]
                self.assertEqual(collections.Counter(envelopes), collections.Counter(delivered), self.trace())
                lines = self.log_lines("smtp_NTFY.log")[before:]
                self.assertEqual([(f[1].decode(), f[8].decode()) for f in lines], logged)
                self.assertTrue(all(f[7] == b"fax%d.tif" % job for f in lines), lines)
                self.assertEqual(server.seen[step], attempts)
                for address, reply in logged:
                    self.assertIn(reply, self.trace())
        # The window lists the failures of both logs.
        self.assertEqual(sorted(row[1] for row in self.error_log()), [b"-", b"-", c.encode()])
        self.assertIn("RCPT 450 4.2.1 Mailbox busy", self.trace())

    def test_a_server_that_stops_answering_costs_one_timeout(self):
        # Answers up to a step, then nothing: the sender gives up after one timeout, without a QUIT.
        for silent, step in ((b"RCPT", "RCPT"), (b".", "end of DATA")):
            with self.subTest(step=step):
                listener, port = listening()
                heard = []

                def serve():
                    connection, _ = listener.accept()
                    with connection, connection.makefile("rb") as lines:
                        connection.sendall(b"220 hung.example ESMTP\r\n")
                        for line in lines:
                            word = line.split(b" ")[0].split(b":")[0].strip().upper()
                            heard.append((time.monotonic(), word))
                            if word != silent and word in (b"EHLO", b"MAIL", b"RCPT", b".", b"DATA"):
                                connection.sendall(b"354 Go on\r\n" if word == b"DATA" else b"250 OK\r\n")
                        heard.append((time.monotonic(), b"closed"))
                thread = serve_in_background(serve)
                self.env["WBFAX_SMTP_TIMEOUT_MS"] = "1500"
                self.configure(smtp(port), mail_list="boss@example.org")
                self.receive()
                thread.join(30)
                listener.close()
                steps = [word for _, word in heard]
                self.assertEqual(steps[-2:], [silent, b"closed"], self.trace())
                self.assertNotIn(b"QUIT", steps)
                waited = heard[-1][0] - heard[-2][0]
                self.assertGreaterEqual(waited, 1.45)  # milliseconds kept, not whole seconds
                self.assertLess(waited, 2.5)  # and not a second timeout for QUIT
                self.wait(lambda: "%s: no answer within 1500 ms" % step in self.trace(), "the trace")
                self.fresh()

    def test_an_office_server_with_its_own_certificate_is_trusted_through_its_ca_or_its_pinned_key(self):
        folder = tempfile.mkdtemp(prefix="wbfax-tls-")  # outlives the installations below
        self.addCleanup(shutil.rmtree, folder, True)
        os.makedirs(os.path.join(folder, "cas"))
        cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")

        def openssl(*args):
            return subprocess.run(["openssl", *args], check=True, capture_output=True).stdout
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days", "2",
                "-subj", "/CN=%s" % LOOPBACK, "-addext", "subjectAltName=IP:%s" % LOOPBACK)
        shutil.copy(cert, os.path.join(folder, "cas", openssl("x509", "-hash", "-noout", "-in", cert).decode().strip() + ".0"))
        key_der = openssl("pkey", "-pubout", "-outform", "DER", "-in", key)
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(cert, key)
        cases = [
            ({}, False),  # the system's authorities do not know it
            ({"WBFAX_SMTP_CA_FILE": cert}, True),
            ({"WBFAX_SMTP_CA_FOLDER": os.path.join(folder, "cas")}, True),
            ({"WBFAX_SMTP_PINNED_KEY": "sha256//" + base64.b64encode(hashlib.sha256(key_der).digest()).decode()}, True),
            ({"WBFAX_SMTP_PINNED_KEY": "sha256//" + base64.b64encode(bytes(32)).decode()}, False),
        ]
        for settings, delivered in cases:
            with self.subTest(settings=settings):
                server = self.mail_server(tls_context=context)
                self.env.update(settings, WBFAX_SMTP_TLS="require")
                self.configure(smtp(server.port), mail_list="boss@example.org")
                self.receive()
                if delivered:
                    self.wait(server.messages, "the mail over TLS")
                else:
                    self.wait(lambda: "not sent: STARTTLS" in self.trace(), "the refusal")
                    self.assertEqual(server.messages(), [])
                self.fresh()


class PcNoticeTests(Installation):

    def test_each_pc_gets_the_notice_or_its_failure_is_logged(self):
        good, other_version = self.receiver(), self.receiver("--speak-version", "3")
        not_a_receiver = self.mail_server()  # answers, but not in our protocol
        nobody = "%s:%d" % (LOOPBACK, free_port())
        pcs = [good.address, other_version.address, "%s:%d" % (LOOPBACK, not_a_receiver.port), nobody]
        self.configure("USESMTP=0\r\nNotifyDays=0\r\n", pc_list=",".join(pcs))
        self.receive(name=b"fax7.tif", language=4, remote_name="田中商事".encode("cp932"))
        [notice] = self.wait(good.notices, "the notice")
        self.assertIn("\n  ファクスから以下のファイルを受信しました。\n", notice)
        for line in (r"\n  Sender: +田中商事\n", r"\n  Fax-Number: +03 1234 5678\n", r"\n  File: +fax7.tif\n", r"\n  Type: +1 "):
            self.assertRegex(notice, line)
        self.assertEqual(other_version.notices(), [])
        lines = self.wait(lambda: len(self.log_lines()) == 4 and self.log_lines(), "a log line per PC")
        self.assertEqual({fields[1].decode(): int(fields[0]) for fields in lines}, {pcs[0]: 10, pcs[1]: 12, pcs[2]: 19, pcs[3]: 11})
        for fields in lines:
            self.assertRegex(fields[3].decode(), r"^\d{4}\.\d\d\.\d\d\.\d\d\.\d\d\.\d\d$")
            self.assertEqual((fields[7], fields[5].decode("cp932")), (b"fax7.tif", "田中商事"))
        # The window lists the three failures, the delivered one not.
        by_pc = {row[1].decode(): row for row in self.error_log()}
        self.assertEqual(sorted(by_pc), sorted(pcs[1:]))
        self.assertEqual([by_pc[pc][2] for pc in pcs[1:]], [b"version error", b"error", b"connect error"])
        logged = next(fields for fields in lines if fields[1].decode() == nobody)
        year, month, day, hour, minute = logged[3].decode().split(".")[:5]
        self.assertEqual(by_pc[nobody][0].decode(), "%s-%s-%s %s:%s" % (year, month, day, hour, minute))
        self.assertEqual(by_pc[nobody][3], b"fax7.tif")
        self.wait_marked("sqb")
        wait_for(lambda: not self.job_files(), what="the job files to go", details=lambda: str(self.job_files()))

    def test_forged_replayed_and_unsigned_notices_are_refused_and_shown_as_refused(self):
        strict, lenient = self.receiver(), self.receiver("--allow-version-1")
        key = read_or(self.key, b"")
        lure = [(b"Job", b"0666"), (b"Folder", b"\\\\someone\\share\\"), (b"File", b"invoice.exe")]
        now = int(time.time())
        good = signed_notice(key, lure, now)
        unsigned = [b"NOTICE 1"] + [b"%s: %s" % field for field in lure]
        forged = signed_notice(os.urandom(32), lure, now)
        cases = [
            ("another key", strict, forged, b"ERR MAC BAD"),
            ("version 1", strict, unsigned, b"ERR VERSION 2"),
            ("good", strict, good, b"OK"),
            ("replayed", strict, good, b"ERR REPLAY"),
            ("another key, version 1 allowed", lenient, forged, b"ERR MAC BAD"),
            ("version 1, allowed", lenient, unsigned, b"OK"),
        ]
        for what, receiver, lines, answer in cases:
            self.assertEqual(exchange(receiver.port, lines), (b"QUILLBOX-NOTICE %d" % (1 if receiver is lenient else 2), answer), what)
        # Each refusal is a line on the screen that says from where; only the good one is shown.
        expected = [answer.decode() for what, receiver, lines, answer in cases if receiver is strict and answer != b"OK"]
        shown = lambda: re.findall(r"(?m)^refused a notice from 127\.0\.0\.1:\d+: .*\((ERR [A-Z0-9 ]+)\)$", strict.text())
        wait_for(lambda: len(shown()) >= len(expected), what="the refusals on the screen")
        self.assertEqual(shown(), expected)
        for receiver in (strict, lenient):  # the answer goes out before the screen shows the notice
            self.assertEqual(len(wait_for(receiver.notices, what="the notice")), 1)
        # The notifier without the PCs' key is refused like any forger.
        write(self.key, os.urandom(32))
        self.configure("USESMTP=0\r\nNotifyDays=0\r\n", pc_list=strict.address)
        self.receive()
        [fields] = self.wait(self.log_lines, "the refusal in the log")
        self.assertEqual((fields[0], fields[8]), (b"19", b"refused: ERR MAC BAD"))
        self.assertEqual(len(strict.notices()), 1)

    def test_a_pc_out_of_reach_is_told_later_and_nobody_twice_after_a_restart(self):
        good, later = self.receiver(), free_port()
        self.configure("USESMTP=0\r\nNotifyDays=1\r\n", pc_list="%s,%s:%d" % (good.address, LOOPBACK, later))
        self.receive()
        self.wait(good.notices, "the first PC's notice")
        self.wait(lambda: "failed 2 time(s)" in self.trace(), "the second PC to be tried again")
        self.assertEqual([fields[0] for fields in self.log_lines()], [b"10"])  # nothing yet for the one out of reach
        # A crash, the PC comes up, the notifier is started again.
        self.kill_sender("sqb")
        late = self.receiver(port=later)
        self.start_sender("sqb")
        self.wait(late.notices, "the late PC's notice")
        self.wait_marked("sqb")
        self.assertEqual(len(good.notices()), 1)
        self.assertEqual(sorted(fields[0] for fields in self.log_lines()), [b"10", b"10"])
        self.assertEqual(self.error_log(), [])
        self.wait_until_left("sqb")
        self.assertEqual(self.job_files(), [])

    def test_a_pc_out_of_reach_or_that_never_answers_is_given_up(self):
        # One PC takes the notice and never says OK: it is told once more, never again. The other is out of reach
        # until the retention period is over.
        listener, port = listening()
        listener.settimeout(5)
        self.cleanups.append(listener.close)
        notices = []

        def serve():
            while True:
                try:
                    connection, _ = listener.accept()
                except OSError:
                    return
                with connection, connection.makefile("rb") as lines:
                    connection.sendall(b"QUILLBOX-NOTICE 1\r\n")
                    notices.append(b"".join(iter(lines.readline, b"\r\n")))
                    lines.read()  # until the notifier hangs up
        serve_in_background(serve)
        self.env["WBFAX_NOTICE_TIMEOUT_MS"] = "300"
        silent, nobody = "%s:%d" % (LOOPBACK, port), "%s:%d" % (LOOPBACK, free_port())
        self.configure("USESMTP=0\r\nNotifyDays=1\r\n", pc_list=silent + "," + nobody)
        self.receive(name=b"old.tif")
        [fields] = self.wait(self.log_lines, "the silent PC to be given up")
        self.assertEqual((len(notices), fields[0], fields[1].decode()), (2, b"19", silent))
        self.assertIn(b"told twice", fields[8])
        self.wait(lambda: "failed 2 time(s)" in self.trace(), "an attempt after that")
        self.assertEqual(len(self.log_lines()), 1)  # nothing yet for the one out of reach
        self.age_job()
        [fields] = self.wait(lambda: self.log_lines()[1:], "the job to be given up")
        self.assertEqual((fields[0], fields[1].decode()), (b"11", nobody))
        self.assertIn(b"1 day", fields[8])
        self.assertEqual(sorted(row[1:] for row in self.error_log()),
                         sorted([[nobody.encode(), b"connect error", b"old.tif"], [silent.encode(), b"error", b"old.tif"]]))
        self.wait_marked("sqb")
        self.assertEqual(len(notices), 2)

    def test_killed_and_started_again_and_again_the_notifier_tells_each_pc_once(self):
        # WBFAX_STRESS=5: 200 jobs for 3 PCs and 30 kills; CI runs a fifth of that.
        factor = int(os.environ.get("WBFAX_STRESS", "1"))
        jobs, kills = 40 * factor, 6 * factor
        receivers = [self.receiver() for _ in range(3)]
        # The plug-in finds no notifier here: the jobs wait in the list for ours.
        self.configure("USESMTP=0\r\nNotifyDays=1\r\n", pc_list=",".join(r.address for r in receivers),
                       program=os.path.join(self.root, "nowhere"))
        names = [b"fax%04d.tif" % n for n in range(jobs)]
        for name in names:
            self.receive(name=name)
        told = lambda: sum(len(r.notices()) for r in receivers)  # noqa: E731
        pace = random.Random(15)
        for _ in range(kills):
            self.start_sender("sqb")
            wait_for(lambda: self.running_sender("sqb"), what="the notifier to start")
            # Somewhere inside the run: after a few more notices, at a random moment.
            target = min(told() + 1 + pace.randrange(3 * jobs // kills), 3 * jobs)
            self.wait(lambda: told() >= target, "progress")
            time.sleep(pace.uniform(0, 0.01))
            self.kill_sender("sqb")
        self.start_sender("sqb")
        self.wait(lambda: not UNMARKED.search(self.job_list("sqb")), "every job to be marked", timeout=120)
        self.wait_until_left("sqb")
        counts = [collections.Counter(re.findall(r"(?m)^  File: +(\S+)$", r.text())) for r in receivers]
        lost = sum(1 for c in counts for name in names if c[name.decode()] == 0)
        duplicates = sum(n - 1 for c in counts for n in c.values())
        logged = collections.Counter((f[1], f[7]) for f in self.log_lines())
        print("\nPF_SQB killed %d times over %d jobs x 3 PCs: %d lost, %d duplicate notices, %d log lines"
              % (kills, jobs, lost, duplicates, sum(logged.values())), file=sys.stderr)
        self.assertEqual(lost, 0)
        self.assertLessEqual(duplicates, kills)  # only a kill between a PC's answer and its record tells it again
        self.assertEqual(sorted(logged.values()), [1] * (3 * jobs))
        self.assertEqual(self.job_files(), [])


POSTFIX_CACHE = os.environ.get("WBFAX_POSTFIX_CACHE", "/var/cache/wbfax/postfix")


def postfix_root():
    """Debian's Postfix unpacked in a cache folder (apt-get download, nothing installed); None, with the reason,
    when it cannot be had."""
    root = os.path.join(POSTFIX_CACHE, "root")
    if os.geteuid() != 0:
        return None, "Postfix runs as root only"
    os.makedirs(POSTFIX_CACHE, exist_ok=True)
    with open(os.path.join(POSTFIX_CACHE, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)  # parallel runs unpack it once
        if os.path.exists(os.path.join(root, "usr/lib/postfix/sbin/master")):
            return root, None
        download = subprocess.run(["apt-get", "download", "postfix"], cwd=POSTFIX_CACHE, capture_output=True, timeout=300)
        packages = glob.glob(os.path.join(POSTFIX_CACHE, "postfix_*.deb"))
        if download.returncode != 0 or not packages:
            return None, "apt-get download postfix failed: " + download.stderr.decode(errors="replace").strip()[-200:]
        subprocess.run(["dpkg-deb", "-x", packages[0], root + ".new"], check=True)
        os.rename(root + ".new", root)
        return root, None


class PostfixTests(Installation):
    """PF_SMTP against Debian's Postfix on loopback, run from a scratch folder, which relays what it takes to
    aiosmtpd. Its access map refuses one recipient for now and one for good; a header check refuses a subject at the
    end of DATA."""

    def start_postfix(self, relay_port):
        root, reason = postfix_root()
        if not root:
            print("SKIPPED: the Postfix run: %s" % reason, file=sys.stderr)
            self.skipTest(reason)
        here = os.path.join(self.root, "postfix")
        conf, spool, data = (os.path.join(here, name) for name in ("conf", "spool", "data"))
        self.postfix_access, self.maillog, self.port = os.path.join(conf, "access"), os.path.join(here, "maillog"), free_port()
        for folder in (conf, data):
            os.makedirs(folder)
        settings = dict(
            compatibility_level="3.6", queue_directory=spool, data_directory=data, command_directory=root + "/usr/sbin",
            daemon_directory=root + "/usr/lib/postfix/sbin", shlib_directory=root + "/usr/lib/postfix",
            meta_directory=root + "/etc/postfix", mail_owner="mail", default_privs="nobody", setgid_group="daemon",
            myhostname="postfix.loopback.test", mydestination="", inet_interfaces=LOOPBACK, inet_protocols="ipv4",
            mynetworks="127.0.0.0/8", relayhost="[%s]:%d" % (LOOPBACK, relay_port), max_use="1", alias_maps="", biff="no",
            smtpd_recipient_restrictions="check_recipient_access texthash:%s, permit_mynetworks, reject" % self.postfix_access,
            header_checks="regexp:" + os.path.join(conf, "header_checks"), maillog_file=self.maillog,
            maillog_file_prefixes=here, import_environment="MAIL_CONFIG MAIL_LOGTAG TZ LD_LIBRARY_PATH")
        services = [("pickup", "n", 60, 1, "pickup"), ("cleanup", "n", "-", 0, "cleanup"), ("qmgr", "n", 300, 1, "qmgr"),
                    ("rewrite", "-", "-", "-", "trivial-rewrite"), ("bounce", "-", "-", 0, "bounce"),
                    ("defer", "-", "-", 0, "bounce"), ("trace", "-", "-", 0, "bounce"), ("flush", "n", 1000, 0, "flush"),
                    ("proxymap", "-", "-", "-", "proxymap"), ("smtp", "-", "-", "-", "smtp"), ("relay", "-", "-", "-", "smtp"),
                    ("error", "-", "-", "-", "error"), ("retry", "-", "-", "-", "error"), ("anvil", "-", "-", 1, "anvil"),
                    ("scache", "-", "-", 1, "scache")]
        for name, text in (("main.cf", "".join("%s = %s\n" % item for item in settings.items())),
                           ("master.cf", "%s:%d inet n - n - - smtpd\n" % (LOOPBACK, self.port) +
                            "".join("%s unix %s - n %s %s %s\n" % service for service in services) +
                            "postlog unix-dgram n - n - 1 postlogd\n"),
                           ("access", "later@example.org 450 4.2.1 Mailbox busy\nnobody@example.org 550 5.1.1 No such user\n"),
                           ("header_checks", "/^Subject:.*REFUSED/ REJECT 5.7.1 Content refused\n")):
            write(os.path.join(conf, name), text, "w")
        for name in ("active", "bounce", "corrupt", "defer", "deferred", "flush", "hold", "incoming", "private", "saved",
                     "trace", "public", "maildrop", "pid"):
            os.makedirs(os.path.join(spool, name), mode=0o700)
            if name != "pid":
                shutil.chown(os.path.join(spool, name), "mail", "daemon")
        shutil.chown(data, "mail")
        os.chmod(self.root, 0o755)  # the daemons run as mail
        master = subprocess.Popen([root + "/usr/lib/postfix/sbin/master", "-c", conf, "-d"],
                                  env=dict(os.environ, LD_LIBRARY_PATH=root + "/usr/lib/postfix"),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.cleanups.append(lambda: (master.terminate(), master.wait()))
        wait_for(lambda: socket_open(self.port), what="Postfix to listen", details=lambda: read_or(self.maillog, b"").decode())

    def test_per_recipient_outcomes_and_a_refusal_at_the_end_of_data_through_postfix(self):
        relay = self.mail_server()
        self.start_postfix(relay.port)
        self.configure(smtp(self.port, "NotifyDays=1\r\nADDFFILE=1\r\n"),
                       mail_list="boss@example.org,later@example.org,nobody@example.org")
        fax = b"II*\x00" + bytes(range(256)) * 64
        self.receive(content=fax, name=b"fax1.tif")
        self.wait(lambda: "RCPT 450 4.2.1" in self.trace(), "the 450")
        write(self.postfix_access, "nobody@example.org 550 5.1.1 No such user\n", "w")  # the mailbox is free again
        self.receive(name=b"REFUSED.tif")
        self.wait(lambda: not UNMARKED.search(self.job_list("smtp")), "both jobs to be marked")
        received = wait_for(lambda: len(relay.messages()) == 2 and relay.messages(), what="the relayed mails",
                            details=lambda: read_or(self.maillog, b"").decode())
        self.assertEqual(sorted(m["X-RcptTo"] for m in received), ["boss@example.org", "later@example.org"])
        self.assertTrue(all(next(m.iter_attachments()).get_payload(decode=True) == fax for m in received))
        logged = sorted((f[1].decode(), f[8].decode().split(" ", 3)[:3]) for f in self.log_lines("smtp_NTFY.log"))
        refused = ("nobody@example.org", ["RCPT", "550", "5.1.1"])  # in both jobs
        self.assertEqual(logged, [("-", ["end", "of", "DATA"]), refused, refused])
        self.assertIn("end of DATA 550 5.7.1", self.trace())


def socket_open(port):
    with socket.socket() as s:
        return s.connect_ex((LOOPBACK, port)) == 0


SERVICE_GROUP, MEMBER, OTHER = "wbfax-service", "wbfax-member", "wbfax-other"


class AccessTests(Installation):
    """Who may read and write what a receive leaves in the data folder, tried as other users; and what the mail sender
    refuses to trust."""

    def accounts(self):
        """A service group with one member, and a user outside it; skipped where they cannot be made."""
        def make(check, command, what):
            if subprocess.run(check, capture_output=True).returncode != 0:
                made = subprocess.run(command, capture_output=True)
                if made.returncode != 0:
                    self.skipTest("SKIPPED: cannot create %s: %s" % (what, made.stderr.decode(errors="replace").strip()))
        make(["getent", "group", SERVICE_GROUP], ["groupadd", "--system", SERVICE_GROUP], "a group")
        for user, groups in ((MEMBER, ["-G", SERVICE_GROUP]), (OTHER, [])):
            make(["id", user], ["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", *groups, user], "a user")
            member = SERVICE_GROUP in subprocess.run(["id", "-nG", user], capture_output=True).stdout.decode().split()
            if member != bool(groups):
                self.skipTest("SKIPPED: the test user %s is %sin the group %s" % (user, "" if member else "not ", SERVICE_GROUP))

    def can(self, user, action, path):
        command = {"read": ["head", "-c1", path], "write": ["sh", "-c", 'exec 3>>"$0"', path]}[action]
        return subprocess.run(["setpriv", "--reuid=" + user, "--regid=" + user, "--init-groups"] + command,
                              capture_output=True).returncode == 0

    def test_secrets_and_lists_are_closed_to_other_users_and_open_to_the_service_group(self):
        self.accounts()
        for folder in (self.root, os.path.dirname(self.data)):
            os.chmod(folder, 0o755)  # the way in is open: the files' own modes decide
        self.configure(smtp(free_port()), mail_list="boss@example.org", program=os.path.join(self.root, "nowhere"))
        for grouped in (False, True):
            if grouped:
                self.env["WBFAX_ACCESS_GROUP"] = SERVICE_GROUP
                shutil.chown(self.data, group=SERVICE_GROUP)
            os.chmod(self.data, 0o2770 if grouped else 0o755)  # as the package makes it
            before = set(self.job_files())
            self.receive(account="fax", password="S3cret")
            job = os.path.join(self.data, next(name for name in set(self.job_files()) - before if name.endswith(".tmp")))
            self.assertIn(b"AuthPassword=S3cret", read_or(job, b""))
            listed = os.path.join(self.data, "pfsmtp_job.pfs")
            cases = [(OTHER, "read", job, False), (OTHER, "read", job[:-4] + ".001", False), (OTHER, "write", job, False)]
            if grouped:
                cases += [(OTHER, "write", listed, False), (MEMBER, "read", job, True), (MEMBER, "write", job, True),
                          (MEMBER, "write", listed, True)]
            for user, action, path, allowed in cases:
                self.assertEqual(self.can(user, action, path), allowed, (grouped, user, action, os.path.basename(path)))

    def test_the_mail_sender_refuses_jobs_and_attachments_it_cannot_trust(self):
        server = self.mail_server()
        self.configure(smtp(server.port, "ADDFFILE=1\r\n"), mail_list="boss@example.org", program=os.path.join(self.root, "nowhere"))
        stored = [self.receive(name=name) for name in (b"open.tif", b"linked.tif", b"good.tif", b"stored.tif")]
        jobs = sorted(os.path.join(self.data, name)[:-4] for name in self.job_files() if name.endswith(".tmp"))
        # A link to the stored fax itself lies below a storage folder: that may go.
        os.remove(jobs[3] + ".002")
        os.symlink(stored[3], jobs[3] + ".002")
        # Anyone may write the first job; the second attaches a file of the server's instead of the fax.
        os.chmod(jobs[0] + ".tmp", 0o646)
        secret = os.path.join(self.root, "secret.txt")
        write(secret, b"root:x:0:0")
        os.remove(jobs[1] + ".002")
        os.symlink(secret, jobs[1] + ".002")
        # A job list entry that names a job file outside the data folder.
        elsewhere = os.path.join(self.root, "elsewhere")
        os.makedirs(elsewhere)
        for extension in (".tmp", ".001", ".002"):
            shutil.copy(jobs[2] + extension, os.path.join(elsewhere, "12010000_9" + extension))
        write(os.path.join(self.data, "pfsmtp_job.pfs"), b"JOB_ID=0009\r\nINFO_FNAME=%s\r\n\r\n"
              % os.path.join(elsewhere, "12010000_9.tmp").encode(), "ab")
        self.start_sender("smtp")
        self.wait(lambda: len(server.messages()) == 2, "the good jobs' mails")
        self.wait_until_left("smtp")
        self.assertEqual(sorted(mail["Subject"] for mail in server.messages()),
                         ["FAX Receipt Notification(good.tif)", "FAX Receipt Notification(stored.tif)"])
        self.assertEqual(self.job_list("smtp").count(b"*OB_ID="), 5)  # all done with, three of them refused
        reasons = sorted((f[0], f[1], f[2], f[8].split(b": ")[1]) for f in self.log_lines("smtp_NTFY.log"))
        self.assertEqual(reasons, [(b"19", b"-", b"0001", b"writable by other users"),
                                   (b"19", b"-", b"0002", b"not a plain file and not below a storage folder"),
                                   (b"19", b"-", b"0009", b"outside the data folder")])
        self.assertEqual(len(re.findall(r"PF_SMTP: job \d{4} refused: ", self.trace())), 3)


if __name__ == "__main__":
    unittest.main()
