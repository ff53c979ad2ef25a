"""trx spy: its JSON endpoints, and its page in headless Chromium driven by
WebDriver. TRX names the program; run as `trxspy_test.py SpyApiTest` or
`trxspy_test.py SpyBrowserTest`."""
import json
import os
import subprocess
import tempfile
import unittest
import urllib.error
import urllib.request

TRX = os.environ.get("TRX", "build/default/trx")
APP = '<Obj ClassName="NorvApplication" RepositoryName="Norvik"/>'
TABS = '<Obj ClassName="NorvApplication" RepositoryName="Norvik"><Obj ClassName="NorvPageTabs" RepositoryName="NorvPageTabs"/></Obj>'


class Spy:
    def __init__(self, app):
        self.process = subprocess.Popen([TRX, "spy", "--app", app, "--port", "0"],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        assert line.startswith("trx spy: http://127.0.0.1:"), line
        self.url = line.split()[2]
        self.port = self.url.rsplit(":", 1)[1].rstrip("/")

    def request(self, path, body=None, headers=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.url + path.lstrip("/"), data=data,
                                         headers=headers or {"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=60) as response:
                return response.status, json.load(response)
        except urllib.error.HTTPError as error:
            return error.code, json.load(error)

    def close(self):
        self.process.stdin.close()
        self.process.stdout.close()
        assert self.process.wait(timeout=30) == 0


def labels(objects):
    for node in objects:
        yield node["className"] + "[" + node["name"] + "]"
        yield from labels(node["children"])


class SpyApiTest(unittest.TestCase):
    def setUp(self):
        self.spy = Spy("samples/navigation.xml")
        self.addCleanup(self.spy.close)

    def test_tree_defs_and_submit_answer_as_the_service_does(self):
        status, tree = self.spy.request("/api/tree")
        self.assertEqual((status, tree["errCode"]), (200, 0))
        self.assertTrue({"NorvScreen[Accounts Screen]", "NorvView[Account List View]"} <= set(labels(tree["objects"])))
        self.assertEqual(self.spy.request("/api/submit", {"trxODS": APP, "methodName": "GetProperty", "Args": "UIName"}),
                         (200, {"hr": 0, "errCode": 0, "errMsg": None, "retVal": {"vt": 8, "value": "Norvik Navigator"}}))
        defs = self.spy.request("/api/defs?class=NorvApplication")[1]
        self.assertIn("GetClassCount", [m["name"] for m in defs["methods"] if m["help"]])
        self.assertEqual(self.spy.request("/api/defs?class=Nothing")[0], 404)

    def test_tree_follows_the_client(self):
        self.spy.request("/api/submit", {"trxODS": TABS, "methodName": "GotoScreen", "Args": "Orders Screen"})
        tree = self.spy.request("/api/tree")[1]
        self.assertIn("NorvScreen[Orders Screen]", labels(tree["objects"]))
        self.assertNotIn("NorvScreen[Accounts Screen]", labels(tree["objects"]))

    def test_requests_from_elsewhere_are_refused(self):
        self.assertEqual(self.spy.request("/api/tree", headers={"Host": "spy.example:" + self.spy.port})[0], 403)
        self.assertEqual(self.spy.request("/api/submit", {"trxODS": APP}, {"Content-Type": "text/plain"})[0], 415)
        self.assertEqual(self.spy.request("/api/submit", {"trxODS": APP, "Args": {"vt": 99}})[0], 400)

    def test_a_port_in_use_is_not_shared(self):
        port = self.spy.port
        other = subprocess.run([TRX, "spy", "--port", port], stdin=subprocess.DEVNULL, capture_output=True, text=True)
        self.assertEqual((other.returncode, other.stdout), (1, ""))
        self.assertIn("cannot listen on 127.0.0.1:" + port, other.stderr)


class SpyBrowserTest(unittest.TestCase):
    def test_an_object_found_by_search_plays_a_method(self):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.by import By
        from selenium.webdriver.support.ui import WebDriverWait
        spy = Spy("samples/navigation.xml")
        self.addCleanup(spy.close)
        profile = tempfile.TemporaryDirectory()
        self.addCleanup(profile.cleanup)
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for argument in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                         "--disable-background-networking", "--disable-component-update", "--disable-sync",
                         "--user-data-dir=" + profile.name]:
            options.add_argument(argument)
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.addCleanup(driver.quit)
        wait = WebDriverWait(driver, 30)
        find = lambda css: driver.find_elements(By.CSS_SELECTOR, css)
        driver.get(spy.url)
        wait.until(lambda _: find(".node"))
        find("#search")[0].send_keys("account list")
        matches = [row for row in find(".node.match") if row.is_displayed()]
        self.assertEqual([row.text for row in matches], ["NorvView[Account List View]"])
        shown = [row.text for row in find(".node") if row.is_displayed()]
        self.assertEqual(shown, ["NorvApplication[Norvik Navigator]", "NorvScreen[Accounts Screen]", matches[0].text])
        matches[0].click()
        wait.until(lambda _: find("#methods dt"))
        self.assertIn('RepositoryName="Account List View"', find("#ods")[0].text)
        find("#method")[0].send_keys("GetProperty")
        find("#args")[0].send_keys("UIName")
        find("#submit")[0].click()
        wait.until(lambda _: find("#errcode")[0].text == "0")
        self.assertEqual((find("#retval")[0].text, find("#errmsg")[0].text), ('"My Accounts" (vt 8)', "(null)"))


if __name__ == "__main__":
    unittest.main()
