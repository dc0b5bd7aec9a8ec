"""The Kubernetes recipe: the Job that spreads a check over pods by shards.

Parses packaging/kubernetes/check-job.yaml and checks what the recipe relies
on: an Indexed Job whose completions match the N of --shard, each pod's
shard index taken from JOB_COMPLETION_INDEX, input and results on a mounted
volume, a shell script that parses, options that the built vexo-cli takes,
and the image that packaging/container/Containerfile is built as.

Usage: kubernetes_job_test.py SOURCE_DIR VEXO_CLI
"""
import re
import subprocess
import sys

import yaml


def fail(message):
    print("kubernetes job: " + message)
    sys.exit(1)


def main():
    source, cli = sys.argv[1], sys.argv[2]
    with open(source + "/packaging/kubernetes/check-job.yaml") as f:
        job = yaml.safe_load(f)
    if job.get("apiVersion") != "batch/v1" or job.get("kind") != "Job":
        fail("not a batch/v1 Job")
    body = job["spec"]  # Kubernetes' name for a Job's content
    if body.get("completionMode") != "Indexed":
        fail("completionMode is not Indexed")
    completions = body.get("completions")
    if not isinstance(completions, int) or completions < 1:
        fail("completions is not a positive number")
    if body.get("parallelism", completions) > completions:
        fail("parallelism above completions")
    pod = body["template"]["spec"]
    if pod.get("restartPolicy") != "Never":
        fail("a finished shard must not be started again: restartPolicy Never")
    (container,) = pod["containers"]
    script = "\n".join(container.get("command", []) + container.get("args", []))

    shard = re.search(r'--shard "\$JOB_COMPLETION_INDEX/(\d+)"', script)
    if not shard or int(shard.group(1)) != completions:
        fail("--shard must be \"$JOB_COMPLETION_INDEX/%d\" (completions)" % completions)
    # Status 3 (no good proxy in the shard) ends the pod as a success.
    if '[ "$status" -eq 3 ]' not in script:
        fail("status 3 is not taken as a finished shard")

    # The list read and the results written lie on a mounted volume.
    volumes = {v["name"] for v in pod.get("volumes", [])}
    mounts = [m["mountPath"] for m in container.get("volumeMounts", []) if m["name"] in volumes]
    paths = re.findall(r"check (\S+)", script) + re.findall(r'--output "([^"]+)"', script)
    if len(paths) != 2:
        fail("no input list or no --output in the script")
    for path in paths:
        if not any(path.startswith(m.rstrip("/") + "/") for m in mounts):
            fail(path + " is on no mounted volume")

    # The pod's script parses, and every option it gives vexo-cli check exists.
    body = container["args"][0]
    syntax = subprocess.run(["/bin/sh", "-n", "-c", body], capture_output=True, text=True)
    if syntax.returncode != 0:
        fail("the script does not parse: " + syntax.stderr)
    help_text = subprocess.run([cli, "check", "--help"], capture_output=True, text=True).stdout
    for option in set(re.findall(r"(--[a-z][a-z0-9-]*)", body)):
        if not re.search(r"^\s+" + re.escape(option) + r"\b", help_text, re.M):
            fail("vexo-cli check has no option " + option)

    # The image is the one the Containerfile says to build.
    with open(source + "/packaging/container/Containerfile") as f:
        tag = re.search(r"build .* -t (\S+) \.", f.read())
    if not tag or not container["image"].endswith("/" + tag.group(1)):
        fail("image %s is not the Containerfile's %s" % (container["image"], tag and tag.group(1)))
    print("kubernetes job: ok (%d shards)" % completions)


main()
