"""lumo serve's page in headless Chromium, used as a translator would:
paste, convert, review and pick, download, export and import custom words,
open a Big5 file. Screenshots go to out/serve-shots/."""

import json
import shutil
import socket
import subprocess
import sys
import threading
import time
from pathlib import Path

import lumo
import pytest

pytest.importorskip("starlette")
pytest.importorskip("uvicorn")
webdriver = pytest.importorskip("selenium.webdriver")

import uvicorn  # noqa: E402
from lumo_serve import create_app  # noqa: E402
from selenium.common.exceptions import TimeoutException  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support.ui import Select, WebDriverWait  # noqa: E402

pytestmark = [
    pytest.mark.browser,
    pytest.mark.skipif(
        not (shutil.which("chromium") and shutil.which("chromedriver")),
        reason="needs Debian's chromium and chromium-driver",
    ),
]

SHOTS = Path(__file__).resolve().parents[2] / "out" / "serve-shots"
TEXT = "秋，冬天我们在干什么？干！\n她的发很长，视频里的个人了解这里。\n"


@pytest.fixture(scope="module")
def server():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    config = uvicorn.Config(create_app(), host="127.0.0.1", port=port, log_level="warning")
    running = uvicorn.Server(config)
    thread = threading.Thread(target=running.run, daemon=True)
    thread.start()
    while not running.started:
        time.sleep(0.05)
    yield f"http://127.0.0.1:{port}"
    running.should_exit = True
    thread.join(timeout=10)


@pytest.fixture(scope="module")
def downloads(tmp_path_factory):
    return tmp_path_factory.mktemp("downloads")


@pytest.fixture(scope="module")
def browser(downloads):
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for argument in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                     "--window-size=1200,1000", "--lang=en"]:  # fmt: skip
        options.add_argument(argument)
    service = webdriver.ChromeService(executable_path=shutil.which("chromedriver"))
    driver = webdriver.Chrome(options=options, service=service)
    driver.execute_cdp_cmd(
        "Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": str(downloads)}
    )
    SHOTS.mkdir(parents=True, exist_ok=True)
    yield driver
    driver.quit()


def wait(driver, condition, seconds=20):
    return WebDriverWait(driver, seconds).until(lambda _: condition())


def fresh_page(driver, server):
    driver.get(server + "/")
    wait(driver, lambda: len(Select(driver.find_element(By.ID, "config")).options) > 1)


def paste_and_convert(driver, text, config="s2t"):
    source = driver.find_element(By.ID, "source")
    source.clear()
    # The driver types only the Basic Multilingual Plane: text goes in as a paste would.
    driver.execute_script("arguments[0].value = arguments[1]", source, text)
    Select(driver.find_element(By.ID, "config")).select_by_value(config)
    driver.find_element(By.ID, "convert").click()
    wait(driver, lambda: driver.find_element(By.ID, "count").text)


def result_text(driver):
    return driver.find_element(By.ID, "result").get_property("textContent")


def choices(driver):
    return {b.text: b for b in driver.find_elements(By.CSS_SELECTOR, "#result button.choice")}


def downloaded(downloads, name):
    path = downloads / name
    wait(None, lambda: path.exists() and not list(downloads.glob("*.crdownload")))
    data = path.read_bytes()
    path.unlink()
    return data


def test_review_pick_and_download(server, browser, downloads):
    fresh_page(browser, server)
    paste_and_convert(browser, TEXT)
    expected = lumo.convert(TEXT, "s2t")
    assert result_text(browser) == expected
    shown = choices(browser)
    # Rare forms on their own (秋 as 鞦, 了 as 瞭) wait behind "Show all".
    assert set(shown) == {"幹", "發", "裏"}
    browser.save_screenshot(str(SHOTS / "1-converted.png"))

    shown["幹"].click()
    dialog = browser.find_element(By.ID, "choices")
    assert dialog.is_displayed()
    browser.save_screenshot(str(SHOTS / "2-choices.png"))
    options = {b.text: b for b in dialog.find_elements(By.CSS_SELECTOR, ".choice-list button")}
    assert list(options)[:3] == ["幹", "乾", "干"]
    options["乾"].click()
    picked = expected.replace("幹！", "乾！")
    assert result_text(browser) == picked and not dialog.is_displayed()

    browser.find_element(By.ID, "show-all").click()
    assert "秋" in choices(browser)
    browser.save_screenshot(str(SHOTS / "3-show-all.png"))

    browser.find_element(By.ID, "download").click()
    assert downloaded(downloads, "converted.txt") == picked.encode()


def test_keyboard_alone_reaches_and_picks_a_choice(server, browser):
    fresh_page(browser, server)
    paste_and_convert(browser, "发")
    choices(browser)["發"].send_keys(Keys.ENTER)
    focused = browser.switch_to.active_element
    assert focused.text == "發" and focused.get_attribute("aria-pressed") == "true"
    focused.send_keys(Keys.TAB)
    browser.switch_to.active_element.send_keys(Keys.ENTER)  # 髮, the other value
    assert result_text(browser) == "髮"
    choices(browser)["髮"].send_keys(Keys.ENTER)
    browser.switch_to.active_element.send_keys(Keys.ESCAPE)
    assert browser.switch_to.active_element.text == "髮"
    for control in browser.find_elements(By.CSS_SELECTOR, "input, select, textarea"):
        label = browser.find_elements(
            By.CSS_SELECTOR, f"label[for='{control.get_attribute('id')}']"
        )
        assert label, control.get_attribute("id")


def test_export_and_import_custom_words(server, browser, downloads, tmp_path):
    fresh_page(browser, server)
    paste_and_convert(browser, "头发。干！")
    choices(browser)["幹"].click()
    browser.find_element(By.CSS_SELECTOR, "#choice-list button:nth-child(2)").click()  # 乾
    browser.find_element(By.ID, "export").click()
    words = downloaded(downloads, "custom-words.json")
    assert json.loads(words) == {"干": "乾"}
    exported = tmp_path / "words.json"
    exported.write_bytes(words)
    assert lumo.Converter("s2t").with_custom(json.loads(words)).convert("干。") == "乾。"
    command = [sys.executable, "-m", "lumo_cli", "-c", "s2t", "--custom", str(exported)]
    assert (
        subprocess.run(command, input="干。".encode(), capture_output=True).stdout
        == "乾。".encode()
    )

    fresh_page(browser, server)
    paste_and_convert(browser, "干。干")
    browser.find_element(By.ID, "import").send_keys(str(exported))
    wait(browser, lambda: "Custom words applied: 1." in browser.find_element(By.ID, "count").text)
    assert result_text(browser) == "乾。乾"
    browser.save_screenshot(str(SHOTS / "4-imported.png"))
    browser.find_element(By.ID, "forget").click()
    wait(browser, lambda: result_text(browser) == lumo.convert("干。干", "s2t"))

    refused = tmp_path / "refused.json"
    refused.write_text('{"干": 1}', encoding="utf-8")
    browser.find_element(By.ID, "import").send_keys(str(refused))
    message = browser.find_element(By.ID, "message")
    wait(browser, lambda: message.text == '"custom": dict values must be strings')
    browser.find_element(By.ID, "convert").click()
    wait(browser, lambda: not message.is_displayed())


def test_a_big5_file_opens_and_downloads_in_big5(server, browser, downloads, tmp_path):
    text = "頭髮乾了。\r\n後面的臺灣。\r\n"
    path = tmp_path / "subtitles.srt"
    path.write_bytes(text.encode("big5"))
    fresh_page(browser, server)
    Select(browser.find_element(By.ID, "encoding")).select_by_value("big5")
    browser.find_element(By.ID, "file").send_keys(str(path))
    detected = browser.find_element(By.ID, "detected")
    wait(browser, lambda: "suggested configuration" in detected.text)
    config = Select(browser.find_element(By.ID, "config")).first_selected_option.text
    assert config == "t2s" and "cn-t" in detected.text
    Select(browser.find_element(By.ID, "config")).select_by_value("t2tw")
    browser.find_element(By.ID, "convert").click()
    wait(browser, lambda: result_text(browser))
    browser.save_screenshot(str(SHOTS / "5-big5-file.png"))
    browser.find_element(By.ID, "download").click()
    data = downloaded(downloads, "subtitles-converted.srt")
    assert data == lumo.convert(text, "t2tw").encode("big5")


HOSTILE = '<script>window.hacked=1</script>"><img src=x onerror="window.hacked=1">头发'


def test_hostile_text_and_words_show_as_text(server, browser, tmp_path):
    fresh_page(browser, server)
    paste_and_convert(browser, HOSTILE)
    assert result_text(browser) == lumo.convert(HOSTILE, "s2t")
    words = tmp_path / "hostile.txt"
    words.write_text('头发 "><img/src=x/onerror=window.hacked=1>\n', encoding="utf-8")
    browser.find_element(By.ID, "import").send_keys(str(words))
    wait(browser, lambda: "Custom words applied: 1." in browser.find_element(By.ID, "count").text)
    assert result_text(browser).endswith('"><img/src=x/onerror=window.hacked=1>')
    assert browser.find_elements(By.CSS_SELECTOR, "#result img, #result script") == []
    assert browser.execute_script("return window.hacked === undefined")


def test_a_long_text_renders_its_choices_as_it_scrolls(server, browser):
    fresh_page(browser, server)
    text = "她的头发干了。\n" * 60000  # 480,000 characters, 120,000 choices
    paste_and_convert(browser, text)
    try:
        wait(browser, lambda: browser.find_elements(By.CSS_SELECTOR, "#result [data-rendered]"))
    except TimeoutException:
        pytest.fail("no chunk rendered")
    chunks = browser.find_elements(By.CSS_SELECTOR, "#result .chunk")
    rendered = browser.find_elements(By.CSS_SELECTOR, "#result [data-rendered]")
    assert len(chunks) > 50 and len(rendered) < 5
    browser.execute_script("arguments[0].scrollTop = arguments[0].scrollHeight",
                           browser.find_element(By.ID, "result"))  # fmt: skip
    wait(browser, lambda: chunks[-1].get_attribute("data-rendered"))
    assert result_text(browser) == lumo.convert(text, "s2t")
