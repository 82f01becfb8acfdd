"""Opens the built documentation site's main pages in headless Chromium and
checks what a reader would see: every image (the charts) has loaded, the
pages that show code show their code blocks, and a click on the navigation
lands on the page it names. Saves a screenshot of each page, the top of it
up to 4000 pixels, under out/site-shots/. Exits with status 1 and the
failures otherwise.

    python tools/site_screenshots.py [SITE] [SHOTS]    # out/site, out/site-shots

Needs Debian's chromium and chromium-driver, and selenium.
"""

from __future__ import annotations

import os
import shutil
import sys
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

ROOT = Path(__file__).resolve().parents[1]
# Each page, and whether it shows code blocks.
PAGES = {
    "index.html": True,
    "api.html": True,
    "command-line.html": True,
    "streams.html": True,
    "serve.html": True,
    "dataframes.html": True,
    "performance.html": True,
    "reliability.html": True,
    "design.html": True,
    "platforms.html": True,
    "contributing.html": True,
    "changelog.html": False,
}
WIDTH = 1280
MOST_HEIGHT = 4000


def browser() -> webdriver.Chrome:
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for argument in ("--headless=new", "--disable-gpu", "--hide-scrollbars",
                     f"--window-size={WIDTH},1000"):  # fmt: skip
        options.add_argument(argument)
    if os.geteuid() == 0:
        options.add_argument("--no-sandbox")
    driver = shutil.which("chromedriver") or "/usr/bin/chromedriver"
    return webdriver.Chrome(options=options, service=Service(driver))


def check_page(chrome: webdriver.Chrome, url: str, has_code: bool) -> list[str]:
    chrome.get(url)
    failures = []
    broken = chrome.execute_script(
        "return Array.from(document.images)"
        ".filter(image => !image.complete || image.naturalWidth === 0)"
        ".map(image => image.getAttribute('src'))"
    )
    failures += [f"image {source} did not load" for source in broken]
    blocks = [block for block in chrome.find_elements(By.CSS_SELECTOR, "pre > code")
              if block.size["height"] > 0 and block.text.strip()]  # fmt: skip
    if has_code and not blocks:
        failures.append("no code block shows")
    if not chrome.find_elements(By.CSS_SELECTOR, "article h1"):
        failures.append("no title shows")
    return failures


def check_navigation(chrome: webdriver.Chrome, site: Path) -> list[str]:
    """From the first page, a click on the navigation's "Python API" lands on it."""
    chrome.get((site / "index.html").as_uri())
    links = [link for link in chrome.find_elements(By.CSS_SELECTOR, "nav.md-nav a.md-nav__link")
             if link.text.strip() == "Python API" and link.is_displayed()]  # fmt: skip
    if not links:
        return ["navigation: no visible link to Python API"]
    links[0].click()
    title = chrome.find_element(By.CSS_SELECTOR, "article h1").text
    if not chrome.current_url.endswith("/api.html") or "Python API" not in title:
        return [f"navigation: the click landed on {chrome.current_url} ({title!r})"]
    return []


def main() -> None:
    site = Path(sys.argv[1] if len(sys.argv) > 1 else ROOT / "out" / "site").resolve()
    shots = Path(sys.argv[2] if len(sys.argv) > 2 else ROOT / "out" / "site-shots")
    shots.mkdir(parents=True, exist_ok=True)
    chrome = browser()
    failures = []
    try:
        for page, has_code in PAGES.items():
            found = check_page(chrome, (site / page).as_uri(), has_code)
            failures += [f"{page}: {failure}" for failure in found]
            height = chrome.execute_script("return document.documentElement.scrollHeight")
            chrome.set_window_size(WIDTH, min(int(height), MOST_HEIGHT))
            chrome.save_screenshot(str(shots / page.replace(".html", ".png")))
            chrome.set_window_size(WIDTH, 1000)
        failures += check_navigation(chrome, site)
    finally:
        chrome.quit()
    if failures:
        sys.exit("\n".join(failures))
    print(f"{len(PAGES)} pages checked; screenshots in {shots}")


if __name__ == "__main__":
    main()
