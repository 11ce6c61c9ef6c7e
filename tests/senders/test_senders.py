"""End to end: the plug-in (through the host stand-in) hands faxes to the real PF_SMTP.exe and PF_SQB.exe, which
deliver them to aiosmtpd and to PC receivers (quillbox-notice) on loopback. WBFAX_BIN names the built programs."""
import collections, email, email.policy, fcntl, glob, logging, mailbox, os, random, re
import shutil, signal, socket, subprocess, tempfile, threading, time, types, unittest, warnings
from aiosmtpd.controller import Controller
from aiosmtpd.handlers import Mailbox
from aiosmtpd.smtp import AuthResult, LoginPassword

BIN, LOOPBACK, ADMIN = os.environ["WBFAX_BIN"], "127.0.0.1", "fax-admin@example.org"
UNMARKED = re.compile(rb"(^|\n)JOB_ID=")
logging.getLogger("mail.log").setLevel(logging.CRITICAL)


def free_port():
    with socket.create_server((LOOPBACK, 0)) as s:
        return s.getsockname()[1]


def smtp(port, extra=""):
    return "USESMTP=1\r\nSMTPServer=%s\r\nSMTPPortNo=%d\r\n%s" % (LOOPBACK, port, extra)


class MailServer(Mailbox):
    """aiosmtpd into a Maildir, insisting on AUTH with accounts; answers[step] scripts one reply per attempt."""

    def __init__(self, folder, accounts=None, answers=None):
        self.maildir = os.path.join(folder, "maildir-%d" % random.randrange(1 << 30))
        super().__init__(self.maildir)
        self.answers = {key: list(replies) for key, replies in (answers or {}).items()}
        self.seen, self.logins, self.port, options = collections.Counter(), [], free_port(), {}
        if accounts is not None:
            warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")

            def authenticate(server, session, envelope, mechanism, data):
                ok = isinstance(data, LoginPassword) and accounts.get(data.login.decode()) == data.password.decode()
                self.logins.append(ok)
                return AuthResult(success=ok, handled=False)
            options = dict(authenticator=authenticate, auth_required=True, auth_require_tls=False)
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
        [job] = [name for name in self.job_files() if name.endswith(".tmp")]
        os.utime(os.path.join(self.data, job), (time.time() - 2 * 86400,) * 2)
        return job

    def log_lines(self, name="sqb_NTFY.log"):
        return [line.split(b",") for line in read_or(os.path.join(self.data, name), b"").split(b"\r\n") if line]

    def error_log(self):  # the rows the plug-in's window shows
        result = subprocess.run([os.path.join(BIN, "quillbox-error-log")], env=self.env, capture_output=True, timeout=30, check=True)
        return [line.split(b"\t") for line in result.stdout.splitlines()]

    def running_sender(self, kind):
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
        """A PC's notice receiver; its screen is .text(), the notices it took .notices()."""
        output = os.path.join(self.root, "receiver-%d.out" % random.randrange(1 << 30))
        with open(output, "wb") as out:
            process = subprocess.Popen([os.path.join(BIN, "quillbox-notice"), "--listen", LOOPBACK, "--port", str(port),
                                        "--key", key or self.key, *options], stdout=out, stderr=subprocess.DEVNULL)
        self.cleanups.append(lambda: (process.terminate(), process.wait()))
        text = lambda: read_or(output, b"").decode("utf-8")  # noqa: E731
        first = wait_for(lambda: text().partition("\n")[1] and text().partition("\n")[0], what="the receiver")
        port = int(first.rsplit(":", 1)[1])
        return types.SimpleNamespace(text=text, port=port, address="%s:%d" % (LOOPBACK, port), notices=lambda: [
            block for block in re.split(r"(?m)^(?=notice )", text()) if block.startswith("notice ")])


def serve_in_background(serve_one):
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


class MailTests(Installation):

    def test_a_fax_reaches_every_mailbox_in_the_mail_language_and_a_refused_login_waits_for_the_retention_period(self):
        # The host stand-in pads the account to its 65 bytes: one of that length keeps the password where it is read.
        account = "fax.notifier.of.the.quillbox.server.in.the.main.office@example.jp"
        login = lambda password: [b"--smtp-account", account.encode(), b"--smtp-password", password]  # noqa: E731
        server = self.mail_server(accounts={account: "s3cret"})
        self.configure(smtp(server.port, "ADDFFILE=1\r\nNotifyDays=1\r\n"), mail_list="sales@example.org,boss@example.org")
        # Code page 932's fullwidth tilde, which ISO-2022-JP knows only as the wave dash; a subject of several words.
        name, fax = "見積～第二四半期の売上報告と来期の計画についての資料です.pdf".encode("cp932"), b"%PDF-1.4 fax" + bytes(range(256))
        self.receive(content=fax, name=name, language=4, options=login(b"s3cret"))
        [mail] = self.wait(server.messages, "the mail")
        header = re.search(rb"\nSubject: (.*?\n)(?! )", server.raw_messages()[0], re.S).group(0).splitlines()[1:]
        self.assertTrue(header[0].startswith(b"Subject: =?ISO-2022-JP?B?") and max(map(len, header)) <= 76, header)
        body, [attachment], shown = mail.get_body(preferencelist=("plain",)), mail.iter_attachments(), name.decode("cp932")
        lines = body.get_content().splitlines()
        self.assertEqual((mail["From"], mail["Subject"], [a.addr_spec for a in mail["To"].addresses], body.get_content_charset(),
                          lines[0], lines[lines.index("[ファイル名]") + 1]),
                         (ADMIN, "ファクス受信通知(%s)" % shown.replace("～", "〜"), ["sales@example.org", "boss@example.org"], "iso-2022-jp",
                          "ファクスから以下のファイルを受信しました。", "\t" + shown.replace("～", "〜")))
        self.assertEqual((attachment.get_filename(), attachment.get_content_type(), attachment.get_payload(decode=True)),
                         (shown, "application/pdf", fax))
        # Done: the entry is marked, the job's files are gone, and the sender leaves by itself.
        self.wait(lambda: self.job_list("smtp").startswith(b"*OB_ID=0001\r\n*NFO_FNAME=") and not self.job_files(), "the mark")
        self.wait_until_left("smtp")
        # Refused again and again, with pauses, while the job waits with its files; given up when its time is over.
        self.receive(options=login(b"wrong"))
        self.wait(lambda: server.logins.count(False) >= 3, "repeated attempts")
        self.assertEqual((len(server.messages()), server.logins.count(True)), (1, 1))
        self.assertTrue(b"\r\nJOB_ID=0002\r\n" in self.job_list("smtp") and self.running_sender("smtp") and
                        "not sent within" not in self.trace(), "a sender with a waiting job stays")
        job = self.age_job()
        self.wait_marked("smtp")
        self.assertIn("not sent within 1 day(s)", self.trace())
        self.assertIn(job, self.job_files())  # left for whoever looks into it

    def test_each_recipient_gets_the_mail_once_or_is_given_up_with_the_servers_reply(self):
        a, b, c = "a@example.org", "b@example.org", "c@example.org"
        cases = [  # answers (9: at every attempt), who gets it, the mail log (address, reply), attempts counted at that step
            ({c: ["450 4.2.1 Mailbox busy"]}, [a, b, c], [], (c, 2)),
            ({c: ["550 5.1.1 No such user"] * 9}, [a, b], [(c, "RCPT 550 5.1.1 No such user")], (c, 1)),
            ({"MAIL": ["553 5.7.1 Sender refused"] * 9}, [], [("-", "MAIL 553 5.7.1 Sender refused")], ("MAIL", 1)),
            ({"DATA": ["554 5.6.0 Content refused"] * 9}, [], [("-", "end of DATA 554 5.6.0 Content refused")], ("DATA", 1)),
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
                self.assertEqual([(f[1].decode(), f[8].decode(), f[7]) for f in self.log_lines("smtp_NTFY.log")[before:]],
                                 [(to, reply, b"fax%d.tif" % job) for to, reply in logged])
                self.assertEqual(server.seen[step], attempts)
        self.assertIn("RCPT 450 4.2.1 Mailbox busy", self.trace())
        # The window lists the failures of both logs.
        self.assertEqual(sorted(row[1] for row in self.error_log()), [b"-", b"-", c.encode()])

    def test_the_mail_sender_refuses_jobs_and_attachments_it_cannot_trust(self):
        server = self.mail_server()
        self.configure(smtp(server.port, "ADDFFILE=1\r\n"), mail_list="boss@example.org", program=os.path.join(self.root, "nowhere"))
        stored = [self.receive(name=name) for name in (b"open.tif", b"linked.tif", b"good.tif", b"stored.tif")]
        jobs = sorted(os.path.join(self.data, name)[:-4] for name in self.job_files() if name.endswith(".tmp"))
        write(secret := os.path.join(self.root, "secret.txt"), b"root:x:0:0")
        # Anyone may write the first job; the second attaches a file of the server's instead of the fax; the fourth a
        # link to the stored fax itself, below a storage folder: that may go.
        os.chmod(jobs[0] + ".tmp", 0o646)
        for job, target in ((jobs[1], secret), (jobs[3], stored[3])):
            os.remove(job + ".002")
            os.symlink(target, job + ".002")
        # A job list entry that names a job file outside the data folder.
        os.makedirs(elsewhere := os.path.join(self.root, "elsewhere"))
        for extension in (".tmp", ".001", ".002"):
            shutil.copy(jobs[2] + extension, os.path.join(elsewhere, "12010000_9" + extension))
        write(os.path.join(self.data, "pfsmtp_job.pfs"), b"JOB_ID=0009\r\nINFO_FNAME=%s/12010000_9.tmp\r\n\r\n" % elsewhere.encode(), "ab")
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


class PcNoticeTests(Installation):

    def test_each_pc_gets_the_notice_or_its_failure_is_logged_and_a_receiver_takes_only_what_its_key_signed(self):
        write(os.path.join(self.root, "other.key"), os.urandom(32))
        good, other_version = self.receiver("--allow-version-1"), self.receiver("--speak-version", "3")
        other_key = self.receiver(key=os.path.join(self.root, "other.key"))
        # A mail server answers, not in our protocol; one never greets; one greets, takes the notice and hangs up.
        mute = socket.create_server((LOOPBACK, 0))
        dropping, _ = serve_in_background(lambda connection, lines: (connection.sendall(b"QUILLBOX-NOTICE 1\r\n"), lines.readline()))
        self.cleanups += [mute.close, dropping.close]
        self.env["WBFAX_NOTICE_TIMEOUT_MS"] = "1000"
        pcs = [good.address, other_version.address, "%s:%d" % (LOOPBACK, self.mail_server().port), "%s:%d" % (LOOPBACK, free_port()),
               other_key.address] + ["%s:%d" % listener.getsockname() for listener in (mute, dropping)]
        self.configure("USESMTP=0\r\nNotifyDays=0\r\n", pc_list=",".join(pcs))
        self.receive(name=b"fax7.tif", language=4, remote_name="田中商事".encode("cp932"))
        [notice] = self.wait(good.notices, "the notice")
        for line in ("ファクスから以下のファイルを受信しました。\n", "Sender: +田中商事\n", "Fax-Number: +03 1234 5678\n", "File: +fax7.tif\n", "Type: +1 "):
            self.assertRegex(notice, "\n  " + line)
        lines = self.wait(lambda: len(self.log_lines()) == 7 and self.log_lines(), "a log line per PC")
        self.assertEqual({f[1].decode(): int(f[0]) for f in lines}, dict(zip(pcs, [10, 12, 19, 11, 19, 11, 11])))
        self.assertIn([b"19", b"refused: ERR MAC BAD"], [[f[0], f[8]] for f in lines])
        self.assertEqual({(f[7], f[5].decode("cp932")) for f in lines}, {(b"fax7.tif", "田中商事")})
        self.wait_marked("sqb")
        # A refusal is a line on the receiver's screen that says from where, and no notice.
        self.assertRegex(other_key.text(), r"(?m)^refused a notice from 127\.0\.0\.1:\d+: .*\(ERR MAC BAD\)$")
        self.assertEqual(other_key.notices(), [])

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
            # After a few more notices, at a random moment.
            target = min(told() + 1 + pace.randrange(3 * jobs // kills), 3 * jobs)
            self.wait(lambda: told() >= target, "progress")
            time.sleep(pace.uniform(0, 0.01))
            os.kill(self.running_sender("sqb") or self.fail("the notifier ended by itself"), signal.SIGKILL)
            wait_for(lambda: not self.running_sender("sqb"), what="the notifier to die")
        self.start_sender("sqb")
        self.wait_marked("sqb")
        self.wait_until_left("sqb")
        told_each = collections.Counter((i, f) for i, r in enumerate(receivers) for f in re.findall(r"(?m)^  File: +(\S+)$", r.text()))
        self.assertEqual(set(told_each), {(i, "fax%04d.tif" % n) for i in range(3) for n in range(jobs)})
        # Only a kill between a PC's answer and its record tells it again.
        self.assertLessEqual(sum(told_each.values()) - 3 * jobs, kills)
        self.assertEqual(sorted(collections.Counter((f[1], f[7]) for f in self.log_lines()).values()), [1] * (3 * jobs))
        self.assertEqual(self.job_files(), [])


if __name__ == "__main__":
    unittest.main()
