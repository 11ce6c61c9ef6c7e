"""End to end: the plug-in (through the host stand-in) hands faxes to the real PF_SMTP.exe and PF_SQB.exe, which
deliver them to aiosmtpd and to PC receivers (quillbox-notice) on loopback. WBFAX_BIN names the built programs."""
import base64, collections, email, email.policy, fcntl, glob, grp, hashlib, hmac, logging, mailbox, os, random, re
import shutil, signal, socket, ssl, subprocess, tempfile, threading, time, unittest, warnings
from aiosmtpd.controller import Controller
from aiosmtpd.handlers import Mailbox
from aiosmtpd.smtp import AuthResult, LoginPassword

BIN = os.environ["WBFAX_BIN"]
LOOPBACK = "127.0.0.1"
ADMIN = "fax-admin@example.org"
UNMARKED = re.compile(rb"(^|\n)JOB_ID=")
logging.getLogger("mail.log").setLevel(logging.CRITICAL)


def free_port():
    with socket.create_server((LOOPBACK, 0)) as s:
        return s.getsockname()[1]


def smtp(port, extra=""):
    return "USESMTP=1\r\nSMTPServer=%s\r\nSMTPPortNo=%d\r\n%s" % (LOOPBACK, port, extra)


class MailServer(Mailbox):
    """aiosmtpd into a Maildir; with accounts it insists on AUTH. answers["MAIL"], answers["DATA"] (its end) and
    answers[address] (its RCPT) script one reply per attempt; seen counts each step's attempts."""

    def __init__(self, folder, port=None, accounts=None, answers=None, tls_context=None):
        self.maildir = os.path.join(folder, "maildir-%d" % random.randrange(1 << 30))
        super().__init__(self.maildir)
        self.answers = {key: list(replies) for key, replies in (answers or {}).items()}
        self.seen, self.logins, self.port, options = collections.Counter(), [], port or free_port(), {}
        if accounts is not None:
            warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")

            def authenticate(server, session, envelope, mechanism, data):
                ok = isinstance(data, LoginPassword) and accounts.get(data.login.decode()) == data.password.decode()
                self.logins.append(ok)
                return AuthResult(success=ok, handled=False)
            options = dict(authenticator=authenticate, auth_required=True, auth_require_tls=False)
        if tls_context:
            options.update(tls_context=tls_context, require_starttls=True)
        self.controller = Controller(self, hostname=LOOPBACK, port=self.port, **options)
        self.controller.start()

    def take(self, key):
        self.seen[key] += 1
        return (self.answers.get(key) or [None]).pop(0)

    async def handle_MAIL(self, server, session, envelope, address, options):
        reply = self.take("MAIL")
        envelope.mail_from = None if reply else address
        return reply or "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, options):
        reply = self.take(address)
        envelope.rcpt_tos += [] if reply else [address]
        return reply or "250 OK"

    async def handle_DATA(self, server, session, envelope):
        return self.take("DATA") or await super().handle_DATA(server, session, envelope)

    def raw_messages(self):
        box = mailbox.Maildir(self.maildir, create=False)
        return [box.get_bytes(key) for key in sorted(box.keys())]

    def messages(self):
        return [email.message_from_bytes(raw, policy=email.policy.default) for raw in self.raw_messages()]


class Receiver:
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


def process_alive(pid): return read_or("/proc/%d/stat" % pid, b") Z").rsplit(b")", 1)[1].split()[0] != b"Z"


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
    """A scratch installation: box 1 with one sub-address rule, and the program folder with both senders."""

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
        self.key = os.path.join(self.data, "notice.key")
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
            wait_for(lambda: not process_alive(pid or self.last_sender(kind)), what="the %s sender to end" % kind)
        for leftover in glob.glob("/dev/shm/" + self.prefix + "*"):
            os.remove(leftover)
        shutil.rmtree(os.path.join(os.environ.get("XDG_RUNTIME_DIR", "/tmp"), "wbfax-windows-" + self.prefix), ignore_errors=True)
        report = "".join(open(path, errors="replace").read() for path in glob.glob(os.path.join(self.root, "sanitizer*")))
        shutil.rmtree(self.root, ignore_errors=True)
        self.assertEqual(report, "", "a sender program failed under the sanitizers")

    def fresh(self):
        self.tearDown()
        self.setUp()

    def configure(self, rcvfax, mail_list="", pc_list="", program=None):
        write(os.path.join(self.data, "wbcatch.ini"),
              b"[PATH]\r\nCONF=%s\r\n[RCVFAX]\r\n%s" % ((program or self.program).encode(), rcvfax.encode()))
        write(os.path.join(self.data, "WbFaxRcv001.rfd"), b"[FCODE]\r\nF001=Sales;1234;%s;%s;\r\n[OTHER]\r\nOtherFile=Rx;;;\r\n"
              b"TXFile=Tx;;;\r\n" % (mail_list.encode(), pc_list.encode()))

    def receive(self, content=b"II*\x00 a fax", name=b"fax1.tif", language=0, remote_name=b"", options=()):
        self.faxes += 1
        folder = os.path.join(self.root, "incoming", str(self.faxes)).encode()
        os.makedirs(folder)
        write(os.path.join(folder, name), content)
        command = [os.path.join(BIN, "quillbox-host").encode(), b"receive", b"--box", b"1", b"--file", os.path.join(folder, name),
                   b"--sub-address", b"1234", b"--remote-number", b"03 1234 5678", b"--admin-mail", ADMIN.encode(),
                   b"--language", str(language).encode(), b"--remote-name", remote_name, *options]
        result = subprocess.run(command, env=self.env, capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        return re.search(rb"^stored path: (.*)$", result.stdout, re.M).group(1)

    def wait(self, predicate, what, timeout=30): return wait_for(predicate, timeout, what, self.trace)

    def trace(self): return read_or(self.env["WBFAX_TRACE"], b"(no trace)").decode("utf-8", "replace")

    def job_list(self, kind): return read_or(os.path.join(self.data, "pf%s_job.pfs" % kind), b"")

    def wait_marked(self, kind): self.wait(lambda: not UNMARKED.search(self.job_list(kind)), "every job to be marked", 120)

    def job_files(self): return sorted(name for name in os.listdir(self.data) if re.match(r"\d{8}_\d+\.", name))

    def age_job(self):
        """Two days later, as far as the one waiting job knows; returns its file name."""
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
        if not self.last_sender(kind):
            return 0
        with open(os.path.join(self.data, "pf%s.lck" % kind), "rb") as f:
            try:
                fcntl.flock(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
                return 0
            except BlockingIOError:
                return int(f.read().strip() or 0)

    def last_sender(self, kind): return int(read_or(os.path.join(self.data, "pf%s.lck" % kind), b"").strip() or 0)

    def start_sender(self, kind):  # by hand, as after a crash or a reboot
        self.started.append(subprocess.Popen([os.path.join(self.program, "PF_%s.exe" % kind.upper())], env=self.env,
                                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))

    def wait_until_left(self, kind): self.wait(lambda: not self.running_sender(kind), "the sender to leave on its own")

    def mail_server(self, **options):
        server = MailServer(self.root, **options)
        self.cleanups.append(server.controller.stop)
        return server

    def receiver(self, *options, port=0, key=None):
        receiver = Receiver(self.root, key or self.key, *options, port=port)
        self.cleanups.append(receiver.stop)
        return receiver


def signed_notice(key, fields, when):
    """The lines a version 2 notifier sends, made here with Python's own HMAC."""
    lines = [b"NOTICE 2"] + [b"%s: %s" % field for field in fields] + [b"Time: %d" % when, b"Nonce: " + os.urandom(16).hex().encode()]
    return lines + [b"MAC: " + hmac.new(key, b"".join(line + b"\r\n" for line in lines), hashlib.sha256).hexdigest().encode()]


def exchange(port, lines):
    with socket.create_connection((LOOPBACK, port), timeout=10) as s:
        answers = s.makefile("rb")
        greeting = answers.readline().strip()
        s.sendall(b"".join(line + b"\r\n" for line in lines) + b"\r\n")
        return greeting, answers.readline().strip()


def serve_in_background(serve_one):
    """A listener on a free port whose connections serve_one takes in turn."""
    listener = socket.create_server((LOOPBACK, 0))
    listener.settimeout(10)

    def serve():
        while True:
            try:
                connection, _ = listener.accept()
            except OSError:
                return
            with connection, connection.makefile("rb") as lines:
                serve_one(connection, lines)
    threading.Thread(target=serve, daemon=True).start()
    return listener, listener.getsockname()[1]


def after(lines, heading): return lines[lines.index(heading) + 1]


class MailTests(Installation):

    def test_a_fax_reaches_every_mailbox_in_the_mail_language_and_a_refused_login_waits_for_the_retention_period(self):
        # The host stand-in pads the account field to its 65 bytes before the password: an account of that length
        # keeps the password where the description parser reads it.
        account = "fax.notifier.of.the.quillbox.server.in.the.main.office@example.jp"
        login = lambda password: [b"--smtp-account", account.encode(), b"--smtp-password", password]  # noqa: E731
        server = self.mail_server(accounts={account: "s3cret"})
        self.configure(smtp(server.port, "ADDFFILE=1\r\nNotifyDays=1\r\n"), mail_list="sales@example.org,boss@example.org")
        cases = [  # language, file name, content, raw subject, subject, charset, first line, file name heading, type
            (0, b"fax1.tif", b"II*\x00" + bytes(range(256)) * 40, b"FAX Receipt Notification(fax1.tif)",
             "FAX Receipt Notification(fax1.tif)", "us-ascii", "FAX has received the following document.", "[File name]",
             "image/tiff"),
            # Code page 932's fullwidth tilde, which ISO-2022-JP knows only as the wave dash; a subject of several words.
            (4, "見積～第二四半期の売上報告と来期の計画についての資料です.pdf".encode("cp932"), b"%PDF-1.4 fax", b"=?ISO-2022-JP?B?",
             "ファクス受信通知(見積〜第二四半期の売上報告と来期の計画についての資料です.pdf)", "iso-2022-jp",
             "ファクスから以下のファイルを受信しました。", "[ファイル名]", "application/pdf"),
        ]
        for n, (language, name, fax, raw, subject, charset, first, heading, content_type) in enumerate(cases):
            stored = self.receive(content=fax, name=name, language=language, options=login(b"s3cret"))
            mail = self.wait(lambda: server.messages()[n:], "the mail")[0]
            header = re.search(rb"\nSubject: (.*?\n)(?! )", server.raw_messages()[n], re.S).group(0).splitlines()[1:]
            self.assertTrue(header[0].startswith(b"Subject: " + raw) and max(map(len, header)) <= 76, header)
            self.assertEqual((mail["From"], mail["X-RcptTo"], mail["Subject"], [a.addr_spec for a in mail["To"].addresses]),
                             (ADMIN, "sales@example.org, boss@example.org", subject, ["sales@example.org", "boss@example.org"]))
            body = mail.get_body(preferencelist=("plain",))
            lines = body.get_content().splitlines()
            self.assertEqual((body.get_content_charset(), lines[0], after(lines, heading)),
                             (charset, first, "\t" + name.decode("cp932").replace("～", "〜")))
            if language == 0:
                self.assertEqual((after(lines, "[Sender FAX number]"), after(lines, "[Destination Folder]")),
                                 ("\t03 1234 5678", "\t" + os.path.dirname(stored).decode() + "/"))
            [attachment] = mail.iter_attachments()
            self.assertEqual((attachment.get_filename(), attachment.get_content_type(), attachment.get_payload(decode=True)),
                             (name.decode("cp932"), content_type, fax))
            # Done: the entry is marked, the job's files are gone, and the sender leaves by itself.
            self.wait(lambda: re.search(rb"(^|\n)\*OB_ID=\d{4}\r\n\*NFO_FNAME=", self.job_list("smtp")) and
                      not UNMARKED.search(self.job_list("smtp")) and not self.job_files(), "the entry to be marked")
            self.wait_until_left("smtp")
        # Refused again and again, with pauses, while the job waits with its files; given up when its time is over.
        self.receive(options=login(b"wrong"))
        self.wait(lambda: server.logins.count(False) >= 3, "repeated attempts")
        self.assertEqual((len(server.messages()), server.logins.count(True)), (2, 2))
        self.assertIn(b"\r\nJOB_ID=0003\r\n", self.job_list("smtp"))
        self.assertTrue(self.running_sender("smtp") and "not sent within" not in self.trace(), "a sender with a waiting job stays")
        job = self.age_job()
        self.wait_marked("smtp")
        self.assertIn("not sent within 1 day(s)", self.trace())
        self.assertIn(job, self.job_files())  # left for whoever looks into it

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
                self.wait_marked("smtp")
                envelopes = [to for mail in server.messages() for to in mail["X-RcptTo"].split(", ")]
                self.assertEqual(collections.Counter(envelopes), collections.Counter(delivered), self.trace())
                lines = self.log_lines("smtp_NTFY.log")[before:]
                self.assertEqual([(f[1].decode(), f[8].decode(), f[7]) for f in lines],
                                 [(to, reply, b"fax%d.tif" % job) for to, reply in logged])
                self.assertEqual(server.seen[step], attempts)
                self.assertTrue(all(reply in self.trace() for _, reply in logged))
        # The window lists the failures of both logs.
        self.assertEqual(sorted(row[1] for row in self.error_log()), [b"-", b"-", c.encode()])
        self.assertIn("RCPT 450 4.2.1 Mailbox busy", self.trace())

    def test_a_server_that_stops_answering_costs_one_timeout(self):
        # Answers up to a step, then nothing: the sender gives up after one timeout, without a QUIT.
        for silent, step in ((b"RCPT", "RCPT"), (b".", "end of DATA")):
            with self.subTest(step=step):
                heard = []

                def serve(connection, lines):
                    if heard:
                        return  # the first connection only
                    connection.sendall(b"220 hung.example ESMTP\r\n")
                    for line in lines:
                        word = line.split(b" ")[0].split(b":")[0].strip().upper()
                        heard.append((time.monotonic(), word))
                        if word != silent and word in (b"EHLO", b"MAIL", b"RCPT", b".", b"DATA"):
                            connection.sendall(b"354 Go on\r\n" if word == b"DATA" else b"250 OK\r\n")
                    heard.append((time.monotonic(), b"closed"))
                listener, port = serve_in_background(serve)
                self.cleanups.append(listener.close)
                self.env["WBFAX_SMTP_TIMEOUT_MS"] = "1500"
                self.configure(smtp(port), mail_list="boss@example.org")
                self.receive()
                wait_for(lambda: heard and heard[-1][1] == b"closed", what="the sender to hang up")
                self.assertEqual([word for _, word in heard][-2:], [silent, b"closed"], self.trace())
                self.assertNotIn(b"QUIT", [word for _, word in heard])
                # Milliseconds kept, not whole seconds, and no second timeout for QUIT.
                self.assertTrue(1.45 <= heard[-1][0] - heard[-2][0] < 2.5, heard)
                self.wait(lambda: "%s: no answer within 1500 ms" % step in self.trace(), "the trace")
                self.fresh()

    def test_an_office_server_with_its_own_certificate_is_trusted_through_its_ca_or_its_pinned_key(self):
        folder = tempfile.mkdtemp(prefix="wbfax-tls-")  # outlives the installations below
        self.addCleanup(shutil.rmtree, folder, True)
        cert, key, cas = (os.path.join(folder, name) for name in ("cert.pem", "key.pem", "cas"))

        def openssl(*args): return subprocess.run(["openssl", *args], check=True, capture_output=True).stdout
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days", "2",
                "-subj", "/CN=%s" % LOOPBACK, "-addext", "subjectAltName=IP:%s" % LOOPBACK)
        os.makedirs(cas)
        shutil.copy(cert, os.path.join(cas, openssl("x509", "-hash", "-noout", "-in", cert).decode().strip() + ".0"))
        pin = "sha256//" + base64.b64encode(hashlib.sha256(openssl("pkey", "-pubout", "-outform", "DER", "-in", key)).digest()).decode()
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(cert, key)
        # The system's authorities do not know it; a pin of another key is no trust either.
        for settings, delivered in (({}, False), ({"WBFAX_SMTP_CA_FILE": cert}, True), ({"WBFAX_SMTP_CA_FOLDER": cas}, True),
                                    ({"WBFAX_SMTP_PINNED_KEY": pin}, True),
                                    ({"WBFAX_SMTP_PINNED_KEY": "sha256//" + base64.b64encode(bytes(32)).decode()}, False)):
            with self.subTest(settings=settings):
                server = self.mail_server(tls_context=context)
                self.env.update(settings, WBFAX_SMTP_TLS="require")
                self.configure(smtp(server.port), mail_list="boss@example.org")
                self.receive()
                self.wait(lambda: server.messages() if delivered else "not sent: STARTTLS" in self.trace(), "the mail or the refusal")
                self.assertEqual(len(server.messages()), delivered)
                self.fresh()

    def test_job_files_are_closed_to_others_and_the_mail_sender_refuses_jobs_and_attachments_it_cannot_trust(self):
        if os.geteuid() != 0:
            self.skipTest("SKIPPED: the service group needs root")
        server = self.mail_server()
        self.configure(smtp(server.port, "ADDFFILE=1\r\n"), mail_list="boss@example.org", program=os.path.join(self.root, "nowhere"))
        # The first two with the service group, in the data folder as the package makes it; the others without.
        self.env["WBFAX_ACCESS_GROUP"] = "nogroup"
        shutil.chown(self.data, group="nogroup")
        os.chmod(self.data, 0o2770)
        stored = [self.receive(name=name) for name in (b"open.tif", b"linked.tif")]
        del self.env["WBFAX_ACCESS_GROUP"]
        stored += [self.receive(name=name) for name in (b"good.tif", b"stored.tif")]
        jobs = sorted(os.path.join(self.data, name)[:-4] for name in self.job_files() if name.endswith(".tmp"))
        for job, mode in zip(jobs, (0o660, 0o660, 0o600, 0o600)):
            for path, expected in ((job + ".tmp", mode), (job + ".001", mode), (os.path.join(self.data, "pfsmtp_job.pfs"), 0o660)):
                st = os.stat(path)
                self.assertEqual((st.st_mode & 0o777, st.st_gid), (expected, grp.getgrnam("nogroup").gr_gid), path)
        secret = os.path.join(self.root, "secret.txt")
        write(secret, b"root:x:0:0")
        # Anyone may write the first job; the second attaches a file of the server's instead of the fax; the fourth a
        # link to the stored fax itself, below a storage folder: that may go.
        os.chmod(jobs[0] + ".tmp", 0o646)
        for job, target in ((jobs[1], secret), (jobs[3], stored[3])):
            os.remove(job + ".002")
            os.symlink(target, job + ".002")
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


class PcNoticeTests(Installation):

    def test_each_pc_gets_the_notice_or_its_failure_is_logged_and_a_receiver_takes_only_what_its_key_signed(self):
        write(os.path.join(self.root, "other.key"), os.urandom(32))
        good, other_version = self.receiver("--allow-version-1"), self.receiver("--speak-version", "3")
        other_key = self.receiver(key=os.path.join(self.root, "other.key"))
        not_a_receiver = self.mail_server()  # answers, but not in our protocol
        # One takes the call and never greets; one greets, takes the notice and hangs up without an answer.
        mute = socket.create_server((LOOPBACK, 0))
        dropping, _ = serve_in_background(lambda connection, lines: (connection.sendall(b"QUILLBOX-NOTICE 1\r\n"), lines.readline()))
        self.cleanups += [mute.close, dropping.close]
        self.env["WBFAX_NOTICE_TIMEOUT_MS"] = "1000"
        pcs = [good.address, other_version.address, "%s:%d" % (LOOPBACK, not_a_receiver.port), "%s:%d" % (LOOPBACK, free_port()),
               other_key.address] + ["%s:%d" % listener.getsockname() for listener in (mute, dropping)]
        self.configure("USESMTP=0\r\nNotifyDays=0\r\n", pc_list=",".join(pcs))
        self.receive(name=b"fax7.tif", language=4, remote_name="田中商事".encode("cp932"))
        [notice] = self.wait(good.notices, "the notice")
        for line in (r"\n  ファクスから以下のファイルを受信しました。\n", r"\n  Sender: +田中商事\n", r"\n  Fax-Number: +03 1234 5678\n",
                     r"\n  File: +fax7.tif\n", r"\n  Type: +1 "):
            self.assertRegex(notice, line)
        lines = self.wait(lambda: len(self.log_lines()) == 7 and self.log_lines(), "a log line per PC")
        self.assertEqual({f[1].decode(): int(f[0]) for f in lines}, dict(zip(pcs, [10, 12, 19, 11, 19, 11, 11])))
        self.assertIn([b"19", b"refused: ERR MAC BAD"], [[f[0], f[8]] for f in lines])
        self.assertEqual({(f[7], f[5].decode("cp932")) for f in lines}, {(b"fax7.tif", "田中商事")})
        # The window lists the failures, the delivered one not.
        by_pc = {row[1].decode(): row for row in self.error_log()}
        self.assertEqual((len(by_pc), [by_pc.get(pc, [b""] * 3)[2] for pc in pcs]),
                         (6, [b"", b"version error", b"error", b"connect error", b"error", b"connect error", b"connect error"]))
        self.wait_marked("sqb")
        wait_for(lambda: not self.job_files(), what="the job files to go", details=lambda: str(self.job_files()))
        # Notices made with Python's own HMAC: taken once with the right key, never unsigned unless allowed.
        lure = [(b"Folder", b"\\\\someone\\share\\"), (b"File", b"invoice.exe")]
        signed, unsigned = signed_notice(read_or(self.key, b""), lure, int(time.time())), [b"NOTICE 1", b"File: invoice.exe"]
        for receiver, lines, answer in ((other_key, signed, b"ERR MAC BAD"), (good, signed, b"OK"), (good, signed, b"ERR REPLAY"),
                                        (other_key, unsigned, b"ERR VERSION 2"), (good, unsigned, b"OK")):
            self.assertEqual(exchange(receiver.port, lines), (b"QUILLBOX-NOTICE %d" % (1 if receiver is good else 2), answer))
        # Each refusal is a line on the screen that says from where; the answer goes out before the screen shows a notice.
        shown = lambda: re.findall(r"(?m)^refused a notice from 127\.0\.0\.1:\d+: .*\((ERR [A-Z0-9 ]+)\)$", other_key.text())  # noqa: E731
        self.assertEqual(wait_for(lambda: len(shown()) >= 3 and shown(), what="the refusals"), ["ERR MAC BAD"] * 2 + ["ERR VERSION 2"])
        self.assertEqual((len(wait_for(lambda: good.notices()[2:] and good.notices(), what="the notices")), other_key.notices()), (3, []))

    def test_a_pc_is_told_once_it_answers_or_given_up_when_told_twice_or_the_retention_period_is_over(self):
        notices = []

        def serve(connection, lines):  # takes the notice and never says OK
            connection.sendall(b"QUILLBOX-NOTICE 1\r\n")
            notices.append(b"".join(iter(lines.readline, b"\r\n")))
            lines.read()  # until the notifier hangs up
        listener, port = serve_in_background(serve)
        self.cleanups.append(listener.close)
        self.env["WBFAX_NOTICE_TIMEOUT_MS"] = "300"
        silent, late, nobody = ("%s:%d" % (LOOPBACK, p) for p in (port, free_port(), free_port()))
        self.configure("USESMTP=0\r\nNotifyDays=1\r\n", pc_list=",".join([silent, late, nobody]))
        self.receive(name=b"old.tif")
        [fields] = self.wait(self.log_lines, "the silent PC to be given up")
        self.assertEqual((len(notices), fields[0], fields[1].decode()), (2, b"19", silent))
        self.assertIn(b"told twice", fields[8])
        self.wait(lambda: "failed 2 time(s)" in self.trace(), "an attempt after that")
        self.assertEqual(len(self.log_lines()), 1)  # nothing yet for those out of reach
        comes_up = self.receiver(port=int(late.rsplit(":", 1)[1]))
        fields = self.wait(lambda: self.log_lines()[1:], "the late PC's notice")[0]
        # The receiver answers before its screen shows the notice, so the log line may come first.
        self.assertEqual((fields[0], fields[1].decode(), len(self.wait(comes_up.notices, "the notice on screen"))), (b"10", late, 1))
        self.age_job()
        fields = self.wait(lambda: self.log_lines()[2:], "the job to be given up")[0]
        self.assertEqual((fields[0], fields[1].decode()), (b"11", nobody))
        self.assertIn(b"1 day", fields[8])
        self.assertEqual(sorted(row[1:] for row in self.error_log()),
                         sorted([[nobody.encode(), b"connect error", b"old.tif"], [silent.encode(), b"error", b"old.tif"]]))
        self.wait_marked("sqb")
        self.wait_until_left("sqb")
        self.assertEqual((len(notices), len(comes_up.notices()), self.job_files()), (2, 1, []))

    def test_killed_and_started_again_and_again_the_notifier_tells_each_pc_once(self):
        factor = int(os.environ.get("WBFAX_STRESS", "1"))  # 5: 200 jobs for 3 PCs and 30 kills
        jobs, kills = 40 * factor, 6 * factor
        receivers = [self.receiver() for _ in range(3)]
        # The plug-in finds no notifier here: the jobs wait in the list for ours.
        self.configure("USESMTP=0\r\nNotifyDays=1\r\n", pc_list=",".join(r.address for r in receivers),
                       program=os.path.join(self.root, "nowhere"))
        for n in range(jobs):
            self.receive(name=b"fax%04d.tif" % n)
        told = lambda: sum(len(r.notices()) for r in receivers)  # noqa: E731
        pace = random.Random(15)
        for _ in range(kills):
            self.start_sender("sqb")
            wait_for(lambda: self.running_sender("sqb"), what="the notifier to start")
            # Somewhere inside the run: after a few more notices, at a random moment.
            target = min(told() + 1 + pace.randrange(3 * jobs // kills), 3 * jobs)
            self.wait(lambda: told() >= target, "progress")
            time.sleep(pace.uniform(0, 0.01))
            pid = self.running_sender("sqb")
            self.assertTrue(pid)
            os.kill(pid, signal.SIGKILL)
            wait_for(lambda: not self.running_sender("sqb"), what="the notifier to die")
        self.start_sender("sqb")
        self.wait_marked("sqb")
        self.wait_until_left("sqb")
        shown = lambda: collections.Counter((i, f) for i, r in enumerate(receivers)  # noqa: E731
                                            for f in re.findall(r"(?m)^  File: +(\S+)$", r.text()))
        # A receiver answers before its screen shows the notice: the last ones may still be on their way.
        told_each = self.wait(lambda: len(shown()) >= 3 * jobs and shown(), "every notice on a screen")
        self.assertEqual(set(told_each), {(i, "fax%04d.tif" % n) for i in range(3) for n in range(jobs)})
        # Only a kill between a PC's answer and its record tells it again.
        self.assertLessEqual(sum(told_each.values()) - 3 * jobs, kills)
        logged = collections.Counter((f[1], f[7]) for f in self.log_lines())
        self.assertEqual(sorted(logged.values()), [1] * (3 * jobs))
        self.assertEqual(self.job_files(), [])


if __name__ == "__main__":
    unittest.main()
